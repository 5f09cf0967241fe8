// The serial-number and subject-alternative-name texts of a loaded certificate.
#include <arpa/inet.h>

#include <cstdint>
#include <cstring>

#include "core/base/Status.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerStatus.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

namespace {

constexpr int kTagSequence = 0x30;
constexpr int kTagOctetString = 0x04;
constexpr int kTagDnsName = 0x82;    // [2] IMPLICIT IA5String
constexpr int kTagIpAddress = 0x87;  // [7] IMPLICIT OCTET STRING

// The value with ',', '\' and '"' escaped by '\'.
int AppendEscaped(const uint8_t* value, size_t length, ByteString& out) {
  for (size_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(value[i]);
    if (c == ',' || c == '\\' || c == '"') TORNELL_TRY(out.AppendByte('\\'));
    TORNELL_TRY(out.AppendByte(c));
  }
  return kStatusOk;
}

// Dotted IPv4 or RFC 5952 IPv6 text; false for another length.
bool AddressText(const uint8_t* value, size_t length, char* text, size_t room) {
  if (length == 4) return inet_ntop(AF_INET, value, text, static_cast<socklen_t>(room)) != nullptr;
  if (length == 16) return inet_ntop(AF_INET6, value, text, static_cast<socklen_t>(room)) != nullptr;
  return false;
}

int AppendEntry(const char* prefix, const uint8_t* value, size_t length, ByteString& out) {
  if (out.Length() > 0) TORNELL_TRY(out.AppendByte(','));
  TORNELL_TRY(out.Append(prefix));
  return AppendEscaped(value, length, out);
}

// The content of the element at `at` with the tag wanted, advancing past it.
const uint8_t* EnterElement(const uint8_t* at, size_t available, int wanted, size_t& contentLength) {
  int tag = 0;
  size_t length = available;
  const uint8_t* content = DerParseHeader(at, length, tag);
  if (content == nullptr || tag != wanted) return nullptr;
  contentLength = length;
  return content;
}

// Only DNS and IP entries are kept: they are what a host name is matched
// against. A DNS name holding a NUL would read as a shorter name, so it is
// left out.
int AppendSubjectAltNames(const ByteString& extnValue, ByteString& out) {
  const auto* at = reinterpret_cast<const uint8_t*>(extnValue.Data());
  size_t octetsLength = 0, namesLength = 0;
  const uint8_t* octets = EnterElement(at, static_cast<size_t>(extnValue.Length()), kTagOctetString, octetsLength);
  if (octets == nullptr) return kDerMalformed;
  const uint8_t* names = EnterElement(octets, octetsLength, kTagSequence, namesLength);
  if (names == nullptr) return kDerMalformed;
  size_t remaining = namesLength;
  while (remaining > 0) {
    const size_t total = DerElementLength(names, remaining);
    if (total == 0 || total > remaining) return kDerMalformed;
    int tag = 0;
    size_t length = total;
    const uint8_t* value = DerParseHeader(names, length, tag);
    if (value == nullptr) return kDerMalformed;
    if (tag == kTagDnsName && std::memchr(value, 0, length) == nullptr) {
      TORNELL_TRY(AppendEntry("DNS:", value, length, out));
    } else if (tag == kTagIpAddress) {
      char text[64];
      if (AddressText(value, length, text, sizeof text)) {
        TORNELL_TRY(AppendEntry("IP:", reinterpret_cast<const uint8_t*>(text), std::strlen(text), out));
      }
    }
    names += total;
    remaining -= total;
  }
  return kStatusOk;
}

}  // namespace

int CertificateManager::FillCertificateTexts() {
  CertStoreEntry* entry = store_.Current();
  if (entry == nullptr || entry->certificate == nullptr) return kStatusOk;
  TbsCertificate& tbs = entry->certificate->tbs;
  TORNELL_TRY(serialNumber_.Set(tbs.serialNumber.Data(), tbs.serialNumber.Length()));
  for (int i = 0; i < tbs.extensions.Count(); ++i) {
    const CertificateExtension* extension = tbs.extensions.Get(i);
    if (extension == nullptr || !extension->extnId.Equals("2.5.29.17")) continue;
    // An unreadable extension leaves the names empty: the certificate still loads.
    if (AppendSubjectAltNames(extension->extnValue, subjectAltNames_) != kStatusOk) subjectAltNames_.Clear();
    break;
  }
  return kStatusOk;
}

}  // namespace tornell::pki
