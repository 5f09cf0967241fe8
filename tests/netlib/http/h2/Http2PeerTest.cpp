// Header blocks exchanged with a real HTTP/2 server (nghttpd, cleartext, on
// 127.0.0.1): its size updates decode here, and ours follow its table size.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "PeerProcess.h"
#include "HpackTestSupport.h"
#include "TestProcess.h"
#include "TestSupport.h"
#include "TestText.h"
#include "http/h2/Http2Frames.h"
#include "http/h2/Http2HeadersFrame.h"

using namespace tornell;
using hpacktest::Fields;
using testsupport::FreePort;
using testsupport::Hex;

namespace {

const char kNghttpd[] = "/usr/sbin/nghttpd";
const std::string kBody = "hello from the peer\n";

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

// nghttpd serving one file, started and stopped by its PID.
class Peer {
 public:
  explicit Peer(std::vector<std::string> options) : www_("h2peer") {
    std::ofstream(www_.path() / "index.html") << kBody;
    port_ = FreePort();
    std::vector<std::string> argv = {kNghttpd, "-a", "127.0.0.1", "-d", www_.path().string(), "--no-tls"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(std::to_string(port_));
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execv(kNghttpd, args.data());
      _exit(127);
    }
    // Up to 10 s, as for every other peer: on a loaded machine it starts slowly.
    for (int i = 0; i < 500 && fd_ < 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      fd_ = Connect(port_);
    }
  }
  ~Peer() {
    if (fd_ >= 0) close(fd_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  int fd() const { return fd_; }

 private:
  testsupport::ScratchDir www_;
  int port_ = 0;
  pid_t pid_ = -1;
  int fd_ = -1;
};

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string Bytes(const ByteString& b) { return std::string(b.Data(), b.Length()); }

template <typename Frame>
std::string Serialize(Frame& frame) {
  ByteString out;
  EXPECT_EQ(frame.Serialize(out), 0);
  return Bytes(out);
}

// Reads one whole frame (header and payload) within the deadline.
bool ReadFrame(int fd, std::string& pending, std::string& frame) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    if (pending.size() >= 9) {
      const size_t length = (static_cast<unsigned char>(pending[0]) << 16) |
                            (static_cast<unsigned char>(pending[1]) << 8) | static_cast<unsigned char>(pending[2]);
      if (pending.size() >= 9 + length) {
        frame = pending.substr(0, 9 + length);
        pending.erase(0, 9 + length);
        return true;
      }
    }
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, 200) <= 0) continue;
    char buffer[16384];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending.append(buffer, static_cast<size_t>(n));
  }
  return false;
}

// One client connection: our encoder follows the peer's SETTINGS, our
// decoder reads its responses.
struct Client {
  explicit Client(int socket) : fd(socket) {}

  int fd;
  std::string pending;
  HpackStaticTable encoder;
  HpackStaticTable decoder;
  bool followPeerTableSize = true;

  bool Start() {
    Http2SettingsFrame settings;
    if (!SendAll(fd, "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n" + Serialize(settings))) return false;
    // The peer's SETTINGS come first on its side.
    std::string frame;
    if (!ReadFrame(fd, pending, frame)) return false;
    Http2SettingsFrame theirs;
    if (theirs.Parse(frame.data(), static_cast<int>(frame.size())) != 0 || frame[3] != 4) return false;
    const uint32_t tableSize = theirs.Get(Http2SettingsFrame::kHeaderTableSize);
    if (followPeerTableSize && tableSize != Http2SettingsFrame::kAbsent) {
      EXPECT_EQ(encoder.SetEncoderMaxSize(static_cast<int>(tableSize)), 0);
    }
    Http2SettingsFrame ack;
    ack.SetAck(true);
    return SendAll(fd, Serialize(ack));
  }

  struct Response {
    std::string firstBlock;  // the first header block, as received
    Fields fields;
    std::string body;
    int goAwayError = -1;
  };

  // A GET on the stream; reads until its END_STREAM or a GOAWAY.
  Response Get(int stream, const std::string& path, std::string* block = nullptr) {
    Response response;
    PtrList<HpackHeaderField> fields;
    const Fields request = {{":method", "GET"}, {":scheme", "http"}, {":authority", "127.0.0.1"},
                            {":path", path}, {"user-agent", "tornell-test/1.0"}};
    for (const auto& [name, value] : request) {
      HpackHeaderField field;
      EXPECT_EQ(field.Set(name.data(), static_cast<int>(name.size()), value.data(), static_cast<int>(value.size())), 0);
      EXPECT_EQ(fields.Add(field), 0);
    }
    Http2HeadersFrame headers;
    headers.SetStreamId(stream);
    headers.SetEndHeaders(true);
    headers.SetEndStream(true);
    EXPECT_EQ(headers.EncodeHeaders(fields, encoder, ""), 0);
    if (block != nullptr) *block = Bytes(headers.HeaderBlock);
    if (!SendAll(fd, Serialize(headers))) return response;
    std::string frame;
    for (int frames = 0; frames < 50 && ReadFrame(fd, pending, frame); ++frames) {
      const int type = frame[3];
      if (type == Http2Frame::kGoAway) {
        Http2GoAwayFrame goAway;
        EXPECT_EQ(goAway.Parse(frame.data(), static_cast<int>(frame.size())), 0);
        response.goAwayError = static_cast<int>(goAway.ErrorCode);
        return response;
      }
      if (type == Http2Frame::kHeaders) {
        Http2HeadersFrame got;
        EXPECT_EQ(got.Parse(frame.data(), static_cast<int>(frame.size())), 0) << got.GetLastErrorText();
        EXPECT_TRUE(got.EndHeaders());
        if (response.firstBlock.empty()) response.firstBlock = Bytes(got.HeaderBlock);
        const hpacktest::Decoded decoded = hpacktest::DecodeBytes(decoder, Bytes(got.HeaderBlock));
        EXPECT_EQ(decoded.status, 0) << decoded.error;
        response.fields.insert(response.fields.end(), decoded.fields.begin(), decoded.fields.end());
        if (got.EndStream()) return response;
      } else if (type == Http2Frame::kData) {
        Http2DataFrame got;
        EXPECT_EQ(got.Parse(frame.data(), static_cast<int>(frame.size())), 0);
        response.body += Bytes(got.Data);
        if (got.EndStream()) return response;
      } else if (type == Http2Frame::kPing) {
        Http2PingFrame ping;
        EXPECT_EQ(ping.Parse(frame.data(), static_cast<int>(frame.size())), 0);
        ping.SetAck(true);
        if (!ping.IsAck()) SendAll(fd, Serialize(ping));
      }
    }
    return response;
  }
};

std::string StatusOf(const Fields& fields) {
  for (const auto& [name, value] : fields) {
    if (name == ":status") return value;
  }
  return "";
}

}  // namespace

// nghttpd with a 256-byte encoder table starts its first response block with
// the size update 3F E1 01; the decoder applies it and reads on.
TEST(Http2Peer, PeerSizeUpdateDecodes) {
  REQUIRE_OR_SKIP(testsupport::HaveTool(kNghttpd), "nghttpd (nghttp2-server) not installed");
  Peer peer({"--encoder-header-table-size=256"});
  ASSERT_GE(peer.fd(), 0) << "nghttpd did not start";
  Client client(peer.fd());
  ASSERT_TRUE(client.Start());
  for (int stream = 1; stream <= 5; stream += 2) {
    const Client::Response response = client.Get(stream, "/index.html");
    EXPECT_EQ(response.goAwayError, -1);
    EXPECT_EQ(StatusOf(response.fields), "200") << stream;
    EXPECT_EQ(response.body, kBody);
    if (stream == 1) {
      EXPECT_EQ(Hex(response.firstBlock).substr(0, 6), "3fe101");
    }
  }
  EXPECT_EQ(client.decoder.MaxSize(), 256);
  EXPECT_LE(client.decoder.Size(), 256);
}

// nghttpd -c 0 advertises a table of 0 bytes: our first block announces it
// and the requests succeed; a block without the update is answered with
// GOAWAY COMPRESSION_ERROR.
TEST(Http2Peer, OurBlocksFollowThePeerTableSize) {
  REQUIRE_OR_SKIP(testsupport::HaveTool(kNghttpd), "nghttpd (nghttp2-server) not installed");
  {
    Peer peer({"-c", "0"});
    ASSERT_GE(peer.fd(), 0) << "nghttpd did not start";
    Client client(peer.fd());
    ASSERT_TRUE(client.Start());
    std::string block;
    Client::Response response = client.Get(1, "/index.html", &block);
    EXPECT_EQ(Hex(block).substr(0, 2), "20");
    EXPECT_EQ(response.goAwayError, -1);
    EXPECT_EQ(StatusOf(response.fields), "200");
    response = client.Get(3, "/missing");
    EXPECT_EQ(response.goAwayError, -1);
    EXPECT_EQ(StatusOf(response.fields), "404");
    EXPECT_EQ(client.encoder.DynamicCount(), 0);
  }
  {
    Peer peer({"-c", "0"});
    ASSERT_GE(peer.fd(), 0) << "nghttpd did not start";
    Client client(peer.fd());
    client.followPeerTableSize = false;
    ASSERT_TRUE(client.Start());
    const Client::Response response = client.Get(1, "/index.html");
    EXPECT_EQ(response.goAwayError, kHttp2CompressionError);
  }
}
