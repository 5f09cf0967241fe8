// libFuzzer target for the HTTP/1.x response parser, fed as the transport
// feeds it: a 4000-byte receive queue split by whatever terminator the parser
// asks for (LF lines, CR LF lines, raw blocks), in pieces of input-chosen
// sizes; and for the gzip member header walk. HTTP1_FUZZ_TARGET picks
// "parser" or "gzip". The parser runs under input-chosen server and proxy
// authentication schemes and then answers the challenges it stored.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/buffer/ByteQueue.h"
#include "http/decode/GzipHeader.h"
#include "http/protocol/HttpProtocol.h"
#include "../../../support/FuzzRequire.h"

using namespace tornell;

namespace {

class Parser : public HttpProtocol {
 public:
  void Begin(uint8_t flags, uint8_t schemes) {
    // Credentials on both sides, so that stored challenges get answered.
    static_cast<void>(SetAuthScheme(schemes & 7));
    static_cast<void>(SetProxyAuthScheme((schemes >> 4) & 7));
    static_cast<void>(SetUser("user"));
    static_cast<void>(SetPassword("pass"));
    static_cast<void>(SetProxyUser("DOM\\proxy"));
    static_cast<void>(SetProxyPassword("secret"));
    static_cast<void>(proxyServer_.Set("proxy.example"));
    SetLogLevel((schemes & 8) != 0 ? 3 : 1);
    responseParseState_ = 0;
    currentAction_ = kHttpGet;
    static_cast<void>(requestMethod_.Set((flags & 1) != 0 ? "HEAD" : "GET"));
    target_.followRedirects = (flags >> 1) & 3;
    allowHttpCompression_ = (flags >> 3) & 1;
    transferredDataLimit_ = (flags & 0x10) != 0 ? 100 : 0;
    keepAliveRequests_ = (flags >> 5) & 1;
    static_cast<void>(SetEol("\n", 1));
  }
  int Feed(char* data, int length, int eol) { return FireDataIn(data, length, eol); }
  // The retry's texts from whatever the response left: Digest from the
  // parsed challenge, NTLM and Negotiate from the stored token.
  void Answer() {
    static_cast<void>(BuildAuthorization(1));
    static_cast<void>(BuildProxyAuthorization(1));
    if (authScheme_ != kAuthProprietary && authScheme_ != 6) RequireAnswer(authorization_.CStr(), authScheme_, true);
    if (proxyAuthScheme_ != kAuthProprietary) {
      RequireAnswer(proxyAuthorization_.CStr(), proxyAuthScheme_, proxyAuthScheme_ != kAuthNegotiate);
    }
  }

 private:
  // An answer names its scheme; schemes without answers leave the text empty.
  static void RequireAnswer(const char* text, int scheme, bool answered) {
    const bool named = scheme == kAuthBasic || scheme == kAuthDigest || scheme == kAuthNtlm || scheme == kAuthNegotiate;
    if (!named || !answered) {
      Require(text[0] == '\0', "no answer for the scheme");
      return;
    }
    if (text[0] == '\0') return;
    const std::string name = std::string(AuthSchemeName(scheme)) + " ";
    Require(std::strncmp(text, name.c_str(), name.size()) == 0, "scheme of the answer");
  }

 public:
  int Failed() const { return responseError_; }
};

void FuzzParser(const uint8_t* data, size_t size) {
  if (size < 3) return;
  Parser parser;
  parser.Begin(data[0], data[2]);
  const unsigned step = 1 + data[1] % 64 * 97;  // bytes the socket hands over at a time
  data += 3;
  size -= 3;
  ByteQueue queue;
  Require(queue.Allocate(HttpProtocol::kDefaultMaxLineLength) != 0, "queue");
  size_t at = 0;
  for (int rounds = 0; rounds < 100000 && (at < size || queue.Length() > 0); ++rounds) {
    unsigned n = static_cast<unsigned>(size - at < step ? size - at : step);
    if (n > queue.FreeSpace()) n = queue.FreeSpace();
    if (n > 0) Require(queue.Append(data + at, n) != 0, "append");
    at += n;
    bool delivered = false;
    for (;;) {
      char* eol = nullptr;
      int eolLength = 0;
      parser.GetEol(&eol, &eolLength);
      Require(queue.SetTerminator(eol, static_cast<unsigned>(eolLength)) != 0, "terminator");
      char* record = nullptr;
      int length = 0;
      if (queue.ReadRecord(record, length) == 0) break;
      delivered = true;
      static_cast<void>(parser.Feed(record, length, 1));
    }
    if (queue.FreeSpace() == 0 || (at >= size && !delivered)) {
      // A full queue, or the end of the input, hands over what it holds.
      char* rest = nullptr;
      unsigned restLength = 0;
      if (queue.ReadAvailable(&rest, &restLength) != 0) static_cast<void>(parser.Feed(rest, static_cast<int>(restLength), 0));
    }
    if (parser.Failed() != 0) break;
  }
  Require(parser.GetBytesTransferred() >= 0, "byte count");
  if (parser.Failed() == 0 && parser.GetTransferredDataLimit() > 0) {
    Require(parser.TransferredData().Length() <= 100, "limit");
  }
  static_cast<void>(parser.EndResponse());
  parser.Answer();
}

void FuzzGzip(const uint8_t* data, size_t size) {
  const int length = static_cast<int>(size);
  int end = 0;
  const int whole = http::GzipHeaderLength(data, length, end);
  Require(whole == 0 || (end >= 10 && end <= length), "header end");
  int checked = 0;
  const int status = http::CheckGzipHeader(data, length, checked);
  if (status == 0) Require(whole == 1 && checked == end, "check agrees");
  // A header found within a prefix is the same header within all the bytes.
  for (int prefix = 0; prefix < length && prefix < 600; prefix += 7) {
    int at = 0;
    if (http::GzipHeaderLength(data, prefix, at) == 1) {
      Require(whole == 1 && at == end, "prefix agrees");
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* target = std::getenv("HTTP1_FUZZ_TARGET");
  const std::string which = target != nullptr ? target : "parser";
  if (which == "http1_gzip") {
    FuzzGzip(data, size);
  } else {
    FuzzParser(data, size);
  }
  return 0;
}
