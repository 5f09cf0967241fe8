#include "pki/keys/TextArmor.h"

#include <cstring>

#include "core/base/Status.h"
#include "pki/keys/KeyFileFormats.h"

namespace tornell::pki {

namespace {

// From pos, the end of the line: end of input, a LF, or a lone CR.
int LineEnd(const char* text, int length, int pos) {
  while (pos < length) {
    if (text[pos] == '\n') break;
    if (text[pos] == '\r' && (pos + 1 >= length || text[pos + 1] != '\n')) break;
    ++pos;
  }
  return pos;
}

int AppendBoundary(ByteString& out, const char* word, const char* label, int dashCount) {
  const int dashes = dashCount < 5 ? dashCount : 5;
  const int blanks = dashCount < 5 ? 5 - dashCount : 0;
  TORNELL_TRY(out.AppendRepeated(dashes, '-'));
  TORNELL_TRY(out.AppendRepeated(blanks, ' '));
  TORNELL_TRY(out.Append(word));
  TORNELL_TRY(out.Append(label));
  TORNELL_TRY(out.AppendRepeated(blanks, ' '));
  TORNELL_TRY(out.AppendRepeated(dashes, '-'));
  return out.Append("\r\n");
}

}  // namespace

int TextArmor::Decode(const char* marker, const char* data, int length) {
  if (length < 0 || (data == nullptr && length > 0)) return kStatusIndexRange;
  if (HeaderText::HasEightBitBytes(data, length)) return Set(data, length);
  TORNELL_TRY(Set(data, length));
  const int at = marker != nullptr && *marker != '\0' ? Find(marker) : kNotFound;
  if (at >= 0) {
    EraseFront(LineEnd(CStr(), Length(), at));
    const int end = Find("---");
    if (end >= 0) SetLength(end);
  }
  return Base64Decode();
}

int TextArmor::EncodePem(const char* label, const void* data, int length) {
  Clear();
  const int status = AppendPem(label, data, length, *this);
  if (status != kStatusOk) Clear();
  return status;
}

int AppendPem(const char* label, const void* data, int length, ByteString& out) {
  TORNELL_TRY(out.Append("-----BEGIN "));
  TORNELL_TRY(out.Append(label));
  TORNELL_TRY(out.Append("-----\r\n"));
  if (length > 0) TORNELL_TRY(out.AppendBase64(data, length, 1, 64, 0));
  TORNELL_TRY(out.Append("\r\n-----END "));
  TORNELL_TRY(out.Append(label));
  return out.Append("-----\r\n");
}

int TextArmor::EncodeArmor(const char* label, const void* data, int length, int dashCount, int lineLength,
                           const char* headers) {
  Clear();
  if (data == nullptr || length <= 0) return kStatusOk;
  int status = AppendBoundary(*this, "BEGIN ", label, dashCount);
  if (status == kStatusOk && headers != nullptr) {
    status = Append(headers);
    while (status == kStatusOk && Length() > 0 && (ByteAt(Length() - 1) == '\r' || ByteAt(Length() - 1) == '\n'))
      DropLast();
    if (status == kStatusOk) status = Append("\r\n\r\n");
  }
  if (status == kStatusOk) status = AppendBase64(data, length, 1, lineLength, 0);
  if (status == kStatusOk) status = Append("\r\n");
  if (status == kStatusOk) status = AppendBoundary(*this, "END ", label, dashCount);
  if (status != kStatusOk) Clear();
  return status;
}

int TextArmor::AppendReversed(const void* source, int sourceLength, int count, int padFlag) {
  const auto* bytes = static_cast<const unsigned char*>(source);
  if (sourceLength < 0) sourceLength = 0;
  if (padFlag == 0 && count > sourceLength) count = sourceLength;
  for (int i = 1; i <= count; ++i) {
    TORNELL_TRY(AppendByte(i > sourceLength ? 0 : bytes[sourceLength - i]));
  }
  return kStatusOk;
}

int RearmorPublicKey(const char* data, int length, TextArmor& out) {
  TextArmor der;
  SecretBytes none;
  int status = KeyFileFormats::DecodePem(der, "RSA PUBLIC KEY", data, length, none, 1);
  if (status == kKeyFormatNotFound) status = KeyFileFormats::DecodePem(der, "DSA PUBLIC KEY", data, length, none, 0);
  TORNELL_TRY(status);
  return out.EncodePem("PUBLIC KEY", der.Data(), der.Length());
}

}  // namespace tornell::pki
