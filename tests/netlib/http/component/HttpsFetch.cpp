// Fetches one URL through a class derived from HTTP and prints the status
// line, the response headers and the body's length; the body goes to a file.
// The server certificate is accepted only when the connection layer's one
// complaint is the unknown root and the given CA signed it.
//
// Usage: http_fetch_demo URL CA-PEM-FILE BODY-FILE [HTTP-VERSION]
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "http/HTTP.h"
#include "pki/keys/KeyCodec.h"

namespace {

// The connection layer's status when the chain ends at a root it does not know.
constexpr char kUnknownRootStatus[] = "[0x800b0109]";

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

class Fetch : public tornell::HTTP {
 public:
  // TLS 1.3 (0x3000) is offered beside the default TLS 1.0 to 1.2 (0xFC0).
  explicit Fetch(std::string ca) : ca_(std::move(ca)) { Config("SSLEnabledProtocols=0x3FC0"); }

  int FireHeader(tornell::HTTPHeaderEventParams* e) override {
    headers.emplace_back(e->Field, e->Value);
    return 0;
  }

  int FireSSLServerAuthentication(tornell::HTTPSSLServerAuthenticationEventParams* e) override {
    const std::string status = e->Status;
    const std::string chain(e->CertEncoded, static_cast<size_t>(e->lenCertEncoded));
    // The leaf is the first certificate of the chain the server sent.
    const size_t end = chain.find("-----END CERTIFICATE-----");
    const std::string leaf = end == std::string::npos ? "" : chain.substr(0, end + 25);
    const bool onlyUnknownRoot = status.rfind(kUnknownRootStatus, 0) == 0;
    const bool signedByCa =
        !leaf.empty() && tornell::pki::KeyCodec::VerifyCertificateSignature(
                             leaf.data(), static_cast<int>(leaf.size()), ca_.data(), static_cast<int>(ca_.size())) == 0;
    e->Accept = onlyUnknownRoot && signedByCa ? 1 : 0;
    std::printf("server certificate: %s; signed by the given CA: %s; accepted: %s\n", e->CertSubject,
                signedByCa ? "yes" : "no", e->Accept != 0 ? "yes" : "no");
    return 0;
  }

  std::vector<std::pair<std::string, std::string>> headers;

 private:
  std::string ca_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s URL CA-PEM-FILE BODY-FILE [HTTP-VERSION]\n", argv[0]);
    return 2;
  }
  Fetch fetch(ReadFile(argv[2]));
  if (argc == 5) {
    const std::string setting = std::string("HTTPVersion=") + argv[4];
    fetch.Config(setting.c_str());
    if (Tornell_HTTP_GetLastErrorCode(fetch.Handle()) != 0) {
      std::printf("HTTPVersion %s refused: %s\n", argv[4], fetch.GetLastError());
      return 1;
    }
  }
  const int code = fetch.Get(argv[1]);
  if (code != 0) {
    std::printf("GET failed: %d %s\n", code, fetch.GetLastError());
    return 1;
  }
  if (argc == 5) std::printf("negotiated HTTP version: %s\n", fetch.Config("NegotiatedHTTPVersion"));
  std::printf("%s\n", static_cast<const char*>(Tornell_HTTP_Get(fetch.Handle(), 52, 0, nullptr)));
  for (const auto& [name, value] : fetch.headers) std::printf("%s: %s\n", name.c_str(), value.c_str());
  char* data = nullptr;
  int length = 0;
  if (fetch.GetTransferredData(data, length) != 0) return 1;
  std::ofstream(argv[3], std::ios::binary).write(data, length);
  std::printf("body: %d bytes\n", length);
  return 0;
}
