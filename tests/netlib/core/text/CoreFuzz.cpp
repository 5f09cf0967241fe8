// libFuzzer target for the string decoders and the ByteString model. The
// target is picked by CORE_FUZZ_TARGET: base64, qp, url, utf16 or model.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ByteStringModel.h"
#include "core/text/ByteString.h"
#include "../../../support/FuzzRequire.h"

using tornell::ByteString;

namespace {

std::string Str(const ByteString& s) { return std::string(s.Data(), s.Length()); }

void FuzzBase64(const uint8_t* data, size_t size) {
  // Any text decodes without harm, never to more bytes than it had.
  for (int urlSafe = 0; urlSafe < 2; ++urlSafe) {
    ByteString text;
    text.Set(data, static_cast<int>(size));
    Require(text.Base64Decode(urlSafe) == 0, "decode status");
    Require(static_cast<size_t>(text.Length()) <= size, "decode grew");
  }
  // Every encoding decodes back to the input, wrapped or not.
  if (size == 0) return;
  const int lineLength = 4 * (1 + data[0] % 24) + (data[0] & 1);
  for (int urlSafe = 0; urlSafe < 2; ++urlSafe) {
    ByteString encoded;
    Require(encoded.AppendBase64(data, static_cast<int>(size), data[0] & 2, lineLength, urlSafe) == 0, "encode");
    Require(encoded.Base64Decode(urlSafe) == 0, "decode back");
    Require(Str(encoded) == std::string(reinterpret_cast<const char*>(data), size), "base64 round trip");
  }
}

void FuzzQuotedPrintable(const uint8_t* data, size_t size) {
  ByteString text;
  text.Set(data, static_cast<int>(size));
  Require(text.QuotedPrintableDecode() == 0, "qp status");
  Require(static_cast<size_t>(text.Length()) <= size, "qp grew");
  // Escaping every byte and decoding gives the bytes back.
  ByteString escaped;
  for (size_t i = 0; i < size; ++i) escaped.AppendFormat((i & 1) ? "=%02X" : "=%02x", data[i]);
  escaped.QuotedPrintableDecode();
  Require(Str(escaped) == std::string(reinterpret_cast<const char*>(data), size), "qp round trip");
}

void FuzzUrl(const uint8_t* data, size_t size) {
  if (size < 12) return;
  unsigned char table[96];
  for (int i = 0; i < 96; ++i) table[i] = (data[i / 8] >> (i % 8)) & 1;
  table['%' - 32] = 0;  // a plain "%" would make the escapes ambiguous
  std::string text(reinterpret_cast<const char*>(data + 12), size - 12);
  text = text.substr(0, text.find('\0'));
  ByteString encoded;
  Require(encoded.AppendUrlEncoded(text.c_str(), table) == 0, "url status");
  // Undo the escapes: the text must come back, and plain bytes must be table bytes.
  std::string back;
  for (int i = 0; i < encoded.Length(); ++i) {
    const unsigned char c = static_cast<unsigned char>(encoded.Data()[i]);
    if (c == '%') {
      Require(i + 2 < encoded.Length(), "cut escape");
      const int value = ByteString::HexPairValue(encoded.Data() + i + 1);
      Require(value >= 0, "escape without two hex digits");
      back.push_back(static_cast<char>(value));
      i += 2;
    } else {
      Require(c >= 32 && c <= 127 && (table[c - 32] & 1), "unescaped byte outside the table");
      back.push_back(static_cast<char>(c));
    }
  }
  Require(back == text, "url round trip");
}

// Independent UTF-8 reader: code points back to UTF-16LE units.
bool Utf8ToUtf16(const std::string& in, std::string& out) {
  for (size_t i = 0; i < in.size();) {
    const unsigned char lead = static_cast<unsigned char>(in[i]);
    int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    if (i + extra >= in.size()) return false;
    uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(in[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    i += 1 + extra;
    auto put = [&](uint32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    };
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return true;
}

void FuzzUtf16(const uint8_t* data, size_t size) {
  int counted = -1;
  const int valid = ByteString::ConvertUtf16LeToUtf8(nullptr, &counted, data, static_cast<int>(size));
  ByteString text;
  text.Set(data, static_cast<int>(size));
  const int status = text.Utf16LeToUtf8();
  Require((status == 0) == (valid == 1), "count and convert disagree on validity");
  const std::string input(reinterpret_cast<const char*>(data), size);
  if (status != 0) {
    Require(status == 434 && Str(text) == input, "failed conversion changed the content");
    return;
  }
  Require(text.Length() == counted, "count differs from the bytes written");
  std::string units;
  Require(Utf8ToUtf16(Str(text), units) && units == input, "utf-16 round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* target = std::getenv("CORE_FUZZ_TARGET");
  if (size > 4096) return 0;
  const std::string which = target != nullptr ? target : "model";
  if (which == "base64") {
    FuzzBase64(data, size);
  } else if (which == "qp") {
    FuzzQuotedPrintable(data, size);
  } else if (which == "url") {
    FuzzUrl(data, size);
  } else if (which == "utf16") {
    FuzzUtf16(data, size);
  } else {
    const std::string failure = coretest::RunByteStringModel(data, size);
    Require(failure.empty(), failure.c_str());
  }
  return 0;
}
