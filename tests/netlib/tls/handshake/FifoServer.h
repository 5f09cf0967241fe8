#pragma once
// openssl s_server in its interactive mode, its standard input a FIFO the
// test writes to: lines go to the client as data, and one-letter lines are
// commands ("k"/"K" key update, "r"/"R" renegotiation). What the client
// sends shows in the server's log.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PeerSession.h"
#include "TestText.h"
#include "../../pki/kit/PkiKit.h"

namespace peertest {

struct FifoServer {
  PeerProcess server;
  std::string fifo;
  std::string log;
  std::string keylog;

  // Starts s_server with the kit's `kit` leaf and chain and the extra options.
  bool Start(const std::string& name, const std::string& kit, const std::vector<std::string>& options) {
    const std::string dir =
        std::filesystem::temp_directory_path() / ("tls_fifo_server_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    fifo = dir + "/" + name + ".in";
    log = dir + "/" + name + ".log";
    keylog = dir + "/" + name + ".keys";
    std::filesystem::remove(fifo);
    std::filesystem::remove(log);
    std::filesystem::remove(keylog);
    if (::mkfifo(fifo.c_str(), 0600) != 0) return false;
    const std::string k = pkikit::Path(kit);
    const std::string chain = dir + "/" + kit + "-chain.pem";
    {
      std::ofstream out(chain);
      out << testsupport::ReadFileText(pkikit::Path(kit + "-int.crt"))
          << testsupport::ReadFileText(pkikit::Path(kit + "-root.crt"));
    }
    // exec keeps the PID the test stops; "<>" opens the FIFO without waiting for a writer.
    std::string command = "exec openssl s_server -accept 127.0.0.1:{port} -cert '" + k + "-leaf.crt' -key '" + k +
                          "-leaf.key' -cert_chain '" + chain + "' -keylogfile '" + keylog + "'";
    for (const std::string& option : options) command += " '" + option + "'";
    command += " 0<>'" + fifo + "'";
    return server.Start({"sh", "-c", command}, 0, log);
  }

  // One line on the server's standard input.
  bool Line(const std::string& text) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return false;
    const std::string line = text + "\n";
    const bool ok = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
    ::close(fd);
    return ok;
  }

  ~FifoServer() {
    server.Stop();
    if (!fifo.empty()) std::filesystem::remove(fifo);
  }
};

}  // namespace peertest
