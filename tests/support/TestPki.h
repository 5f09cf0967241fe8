#pragma once
// An RSA CA and a server certificate for localhost and 127.0.0.1, made once
// per test program with the openssl command, for the TLS peers started there.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PeerProcess.h"
#include "TestProcess.h"
#include "TestText.h"

namespace testsupport {

class TestPki {
 public:
  static const TestPki& Get() {
    static TestPki pki;
    return pki;
  }
  bool ok = false;
  // ca.crt, srv.crt, srv.key, chain.crt (the server's then the CA's), and a
  // client certificate: cli.crt, cli.key (P-256) and cli.p12 (password "pw").
  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }

 private:
  TestPki() {
    const std::string script =
        "set -e; cd '" + dir_.path().string() + "'\n"
        "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\nextendedKeyUsage=serverAuth\\n' > srv.ext\n"
        "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 3650 -subj '/CN=Test rsa CA' "
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null\n"
        "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out srv.key 2>/dev/null\n"
        "openssl req -new -key srv.key -subj /CN=localhost -out srv.csr\n"
        "openssl x509 -req -in srv.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 825 "
        "-extfile srv.ext -out srv.crt 2>/dev/null\n"
        "cat srv.crt ca.crt > chain.crt\n"
        "printf 'extendedKeyUsage=clientAuth\\n' > cli.ext\n"
        "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out cli.key 2>/dev/null\n"
        "openssl req -new -key cli.key -subj /CN=client -out cli.csr\n"
        "openssl x509 -req -in cli.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 825 "
        "-extfile cli.ext -out cli.crt 2>/dev/null\n"
        "openssl pkcs12 -export -inkey cli.key -in cli.crt -passout pass:pw -out cli.p12\n";
    { std::ofstream(Path("make.sh")) << script; }
    bool done = false;
    RunCommand("sh '" + Path("make.sh") + "' 2>&1", done);
    ok = done && std::filesystem::exists(Path("cli.p12"));
  }
  ScratchDir dir_{"test-pki"};
};

// openssl s_server with the test PKI's server certificate and chain on a
// free port, with the given options added; false when it cannot start.
inline bool StartOpensslServer(PeerProcess& server, const std::vector<std::string>& extra,
                               const std::string& log = "") {
  const TestPki& pki = TestPki::Get();
  if (!pki.ok) return false;
  std::vector<std::string> argv = {"openssl", "s_server", "-accept", "127.0.0.1:{port}", "-cert",
                                   pki.Path("srv.crt"), "-key", pki.Path("srv.key"), "-cert_chain",
                                   pki.Path("ca.crt")};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return server.Start(argv, 0, log);
}

}  // namespace testsupport
