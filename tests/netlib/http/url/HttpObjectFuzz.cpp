// libFuzzer target for what the HTTP object reads from a peer: header lines,
// Set-Cookie values, Location URLs and compressed bodies. The target is
// picked by HTTP_OBJECT_FUZZ_TARGET: headers, cookies, url or decode.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/cookies/HttpCookieList.h"
#include "http/cookies/SetCookie.h"
#include "http/decode/ContentDecoder.h"
#include "http/decode/GzipHeader.h"
#include "http/headers/HeaderText.h"
#include "http/headers/HttpHeaderList.h"
#include "http/url/UrlTarget.h"
#include "../../../support/FuzzRequire.h"

using namespace tornell;

namespace {

void FuzzHeaders(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  HttpHeaderList list;
  size_t from = 0;
  int added = 0;
  while (from < text.size()) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    from = end + 1;
    const size_t colon = line.find(':');
    const bool folded = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    const std::string name = folded || colon == std::string::npos ? "" : line.substr(0, colon);
    const std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
    Require(list.Add(name.c_str(), value.c_str()) == 0, "add");
    if (name.c_str()[0] != '\0') ++added;  // the list reads names as C strings
    Require(list.Count() == added, "count");
  }
  for (int i = 0; i < list.Count(); ++i) Require(list.Name(i)[0] != '\0', "names are never empty");
  ByteString copy;
  Require(copy.Set(data, static_cast<int>(size)) == 0, "copy");
  Require(http::EnsureCrLf(copy) == 0 && copy.EndsWith("\r\n"), "line end");
  ByteString escaped;
  Require(http::EscapeControl(data, static_cast<int>(size), escaped) == 0, "escape");
  for (int i = 0; i < escaped.Length(); ++i) {
    const unsigned char c = escaped.Bytes()[i];
    Require((c >= 32 && c <= 127) || c == '\r' || c == '\n', "escaped bytes");
  }
  Require(http::MaskBasicCredentials(escaped) == 0, "mask");
  const int check = http::CheckHeaderValue(text.data(), static_cast<int>(text.size()), nullptr);
  Require((check == 0) == (text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos), "value check");
}

void FuzzCookies(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  HttpCookieList list;
  size_t from = 0;
  while (from <= text.size()) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(from, end - from);
    from = end + 1;
    http::SetCookieFields f;
    Require(http::ParseSetCookie(line.data(), static_cast<int>(line.size()), f) == 0, "parse");
    Require(f.name.Length() + f.value.Length() <= static_cast<int>(line.size()), "pair within the line");
    Require(list.AddOrUpdate(f.name.CStr(), f.value.CStr(), f.expiry.CStr(), f.domain.CStr(), f.path.CStr(),
                             f.secure, (line.size() & 1) ? HttpCookieList::kCallerCookie : HttpCookieList::kServerCookie) == 0,
            "add");
  }
  ByteString value;
  const int header = list.HeaderValue(size & 2, value, nullptr);
  Require(header == 0 || header == 202, "cookie header");
  const int before = list.Count();
  Require(list.DropServerCookies(0) == 0 && list.Count() <= before, "drop");
  for (int i = 0; i < list.Count(); ++i) Require(list.Origin(i) == HttpCookieList::kCallerCookie, "kept");
}

void CheckTarget(const UrlTarget& target) {
  const ByteString& path = target.Path();
  Require(path.Length() > 0, "path");
  for (int i = 0; i < path.Length(); ++i) {
    const unsigned char c = path.Bytes()[i];
    Require(c > 0x20 && c != 0x7F && c != '#', "request target bytes");
  }
  for (int i = 0; i < target.Server().Length(); ++i) {
    const unsigned char c = target.Server().Bytes()[i];
    Require(c > 0x20 && c != 0x7F, "host bytes");
  }
  Require(target.Port() >= 0 && target.Port() <= 65535, "port");
}

void FuzzUrl(const uint8_t* data, size_t size) {
  if (size < 1) return;
  const int flags = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  UrlTarget target;
  target.encoding.encodeUrl = flags & 1;
  target.encoding.encodeRedirectLocation = (flags >> 1) & 1;
  target.encoding.encodeQueryString = (flags >> 2) & 1;
  target.followRedirects = (flags >> 3) & 3;
  target.maxRedirectAttempts = (flags >> 5) & 3;
  UrlChange change;
  size_t from = 0;
  bool first = true;
  while (from <= text.size()) {
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    const std::string url = text.substr(from, end - from);
    from = end + 1;
    const int status = target.SetURL(url.c_str(), first ? 0 : 1, change);
    first = false;
    if (status == 0 && !url.empty() && url.c_str()[0] != '\0') CheckTarget(target);
    if (status != 0) Require(change.closeConnection, "a refused URL closes");
  }
  http::UrlParts parts;
  http::UrlEncoding encoding;
  Require(http::SplitUrl(text.data(), static_cast<int>(text.size()), parts, encoding, flags & 1) != 200, "split");
}

struct Discard : DecodedSink {
  int OnDecoded(const unsigned char*, int length) override {
    Require(length > 0 && length <= ContentDecoder::kBlockSize, "block size");
    return 0;
  }
};

void FuzzDecode(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const int flags = data[0];
  const int segment = 1 + data[1];
  data += 2;
  size -= 2;
  int position = 0;
  const int complete = http::GzipHeaderLength(data, static_cast<int>(size), position);
  Require(complete == 0 || (position >= 10 && position <= static_cast<int>(size)), "header walk");
  ContentDecoder decoder;
  Require(decoder.OnContentEncoding((flags & 1) ? "deflate" : "gzip") == 0, "mode");
  Discard sink;
  for (size_t at = 0; at < size; at += static_cast<size_t>(segment)) {
    const size_t n = size - at < static_cast<size_t>(segment) ? size - at : static_cast<size_t>(segment);
    if (decoder.Feed(data + at, static_cast<int>(n), sink) != 0) return;
  }
  const int finish = decoder.Finish();
  Require(finish == 0 || finish == 151, "finish");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* target = std::getenv("HTTP_OBJECT_FUZZ_TARGET");
  const std::string which = target != nullptr ? target : "headers";
  if (which == "headers") FuzzHeaders(data, size);
  if (which == "cookies") FuzzCookies(data, size);
  if (which == "url") FuzzUrl(data, size);
  if (which == "decode") FuzzDecode(data, size);
  return 0;
}
