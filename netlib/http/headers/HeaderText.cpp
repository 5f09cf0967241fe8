#include "http/headers/HeaderText.h"

#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"

namespace tornell::http {

int EnsureCrLf(ByteString& text) {
  int length = text.Length();
  const char* data = text.Data();
  while (length > 0 && data[length - 1] == '\n') {
    if (length >= 2 && data[length - 2] == '\r') {
      length -= 2;
      continue;
    }
    --length;  // a bare LF: removed, and the removal stops
    break;
  }
  TORNELL_TRY(text.Resize(length));
  return text.Append("\r\n");
}

int AppendChunkHeader(ByteString& out, long long length) {
  if (length < 0) length = 0;
  return out.AppendFormat("%llx\r\n", static_cast<unsigned long long>(length));
}

int CheckHeaderValue(const char* value, int length, ByteString* errorText) {
  if (value == nullptr) return kStatusOk;
  if (length < 0) length = static_cast<int>(std::strlen(value));
  for (int i = 0; i < length; ++i) {
    if (value[i] == '\r' || value[i] == '\n' || value[i] == '\0') {
      if (errorText != nullptr) {
        const int set = errorText->Set(kInvalidHeaderValueText);
        (void)set;  // the code says it all when the text cannot be stored
      }
      return kHttpStatusInvalidValue;
    }
  }
  return kStatusOk;
}

namespace {

bool NamesCredential(const char* line, int length) {
  int colon = 0;
  while (colon < length && line[colon] != ':') ++colon;
  if (colon == length) return false;
  int end = colon;
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  static constexpr const char* kNames[] = {"authorization", "cookie"};
  for (const char* name : kNames) {
    const int n = static_cast<int>(std::strlen(name));
    if (end == n && CompareNoCaseN(line, name, static_cast<unsigned long>(n)) == 0) return true;
  }
  return false;
}

}  // namespace

int StripCredentialHeaders(const char* text, int length, ByteString& out) {
  if (text == nullptr || length <= 0) return kStatusOk;
  bool dropping = false;
  for (int start = 0; start < length;) {
    const void* lf = std::memchr(text + start, '\n', static_cast<size_t>(length - start));
    const int end = lf != nullptr ? static_cast<int>(static_cast<const char*>(lf) - text) + 1 : length;
    const char* line = text + start;
    const bool folded = line[0] == ' ' || line[0] == '\t';
    if (!folded) dropping = NamesCredential(line, end - start);
    if (!dropping) TORNELL_TRY(out.Append(line, end - start));
    start = end;
  }
  return kStatusOk;
}

int EscapeControl(const void* data, int length, ByteString& out) {
  if (data == nullptr || length <= 0) return kStatusOk;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  int run = 0;  // start of the bytes copied as they are
  for (int i = 0; i < length; ++i) {
    const unsigned char c = bytes[i];
    if ((c >= 32 && c <= 127) || c == '\r' || c == '\n') continue;
    TORNELL_TRY(out.Append(bytes + run, i - run));
    TORNELL_TRY(out.AppendFormat("0x%x", c));
    run = i + 1;
  }
  return out.Append(bytes + run, length - run);
}

int MaskBasicCredentials(ByteString& text) {
  static constexpr char kScheme[] = "basic ";
  constexpr int kSchemeLength = sizeof kScheme - 1;
  char* data = text.Data();
  const int length = text.Length();
  for (int i = 0; i + kSchemeLength <= length; ++i) {
    if (CompareNoCaseN(data + i, kScheme, kSchemeLength) != 0) continue;
    // Only the scheme as a word: "Basic" after a blank, colon or line start.
    if (i > 0 && data[i - 1] != ' ' && data[i - 1] != ':' && data[i - 1] != '\t' &&
        data[i - 1] != '\n') {
      continue;
    }
    int at = i + kSchemeLength;
    while (at < length && data[at] != '\r' && data[at] != '\n' && data[at] != ' ' &&
           data[at] != ',') {
      data[at++] = 'x';
    }
    i = at;
  }
  return kStatusOk;
}

}  // namespace tornell::http
