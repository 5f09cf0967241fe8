#include "tls/handshake/HostNameMatch.h"

#include <arpa/inet.h>

#include <cstring>

#include "core/base/Status.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerRun.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/CertificateRecords.h"

namespace tornell::tls {
namespace {

using pki::DerPiece;
using pki::DerRun;
using pki::NextElement;

constexpr const char* kSubjectAltNameOid = "2.5.29.17";
constexpr uint8_t kDnsNameTag = 0x82;
constexpr uint8_t kIpAddressTag = 0x87;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

bool SameText(const char* a, int aLength, const char* b, int bLength) {
  if (aLength != bLength) return false;
  for (int i = 0; i < aLength; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The host as address bytes (4 or 16), or 0 when it is a name.
int HostAddress(const char* host, unsigned char* out) {
  if (inet_pton(AF_INET, host, out) == 1) return 4;
  if (inet_pton(AF_INET6, host, out) == 1) return 16;
  return 0;
}

bool IsConstructed(const uint8_t* element) { return (element[0] & 0x20) != 0; }

// Every constructed element inside the split names, at any depth, split as a
// parsed DerElement tree splits it: one that will not split fails the whole
// list, as it fails the tree. Split children tile their parent exactly, so the
// elements are met in document order by stepping into a split element and
// over any other, with no stack of parents.
int CheckNested(const pki::DerNode& names) {
  const uint8_t* at = names.children.at;
  const uint8_t* const end = names.children.end;
  while (at < end) {
    const pki::DerRun element{at, at + pki::DerElementLength(at, size_t(end - at))};
    pki::DerNode node;
    if (IsConstructed(at)) TORNELL_TRY(pki::DerSplit(element, node));
    at = node.count > 0 ? node.children.at : element.end;
  }
  return kStatusOk;
}

int SubjectAltNames(const pki::X509Certificate& leaf, StringList& dnsNames, StringList& ipAddresses, int& hasNames) {
  for (int i = 0; i < leaf.tbs.extensions.Count(); ++i) {
    pki::CertificateExtension* extension = const_cast<pki::X509Certificate&>(leaf).tbs.extensions.Get(i);
    if (extension == nullptr || !extension->extnId.Equals(kSubjectAltNameOid)) continue;
    hasNames = 1;
    DerRun content;
    TORNELL_TRY(pki::DerContentAt(pki::DerRunOf(extension->extnValue), content));
    if (content.Empty() || !IsConstructed(content.at)) continue;
    pki::DerNode names;
    TORNELL_TRY(pki::DerSplit(content, names));
    TORNELL_TRY(CheckNested(names));
    for (DerRun run = names.children; !run.Empty();) {
      const DerRun name = pki::DerTakeChild(run);
      if (name.at[0] != kDnsNameTag && name.at[0] != kIpAddressTag) continue;
      DerRun value;
      TORNELL_TRY(pki::DerContentAt(name, value));
      TORNELL_TRY((name.at[0] == kDnsNameTag ? dnsNames : ipAddresses).Add(value.at, value.Length()));
    }
  }
  return kStatusOk;
}

bool IsCommonNameOid(const DerRun& element) {
  size_t available = size_t(element.end - element.at);
  uint32_t arcs[pki::kMaxOidArcs];
  int count = pki::kMaxOidArcs;
  if (pki::DerReadOid(element.at, available, arcs, count) == nullptr) return false;
  return count == 4 && arcs[0] == 2 && arcs[1] == 5 && arcs[2] == 4 && arcs[3] == 3;
}

// The value of the first CN attribute of the subject, read in place from the
// decoded certificate's to-be-signed part.
int FirstCommonName(const pki::X509Certificate& leaf, ByteString& out) {
  const uint8_t* tbsBytes = reinterpret_cast<const uint8_t*>(leaf.tbsEncoded.Data());
  DerRun top{tbsBytes, tbsBytes + leaf.tbsEncoded.Length()};
  if (top.Empty()) return kStatusOk;
  DerPiece tbs;
  TORNELL_TRY(NextElement(top, tbs));
  if (!tbs.Constructed()) return kStatusOk;
  DerRun fields = tbs.content;
  DerPiece field;
  if (fields.Empty()) return kStatusOk;
  TORNELL_TRY(NextElement(fields, field));
  if (field.tag == 0xA0) {  // version
    if (fields.Empty()) return kStatusOk;
    TORNELL_TRY(NextElement(fields, field));
  }
  // serial, signature, issuer, validity, then the subject
  for (int i = 0; i < 4; ++i) {
    if (fields.Empty()) return kStatusOk;
    TORNELL_TRY(NextElement(fields, field));
  }
  if (!field.Constructed()) return kStatusOk;
  DerRun rdns = field.content;
  while (!rdns.Empty()) {
    DerPiece rdn;
    TORNELL_TRY(NextElement(rdns, rdn));
    if (!rdn.Constructed()) continue;
    DerRun pairs = rdn.content;
    while (!pairs.Empty()) {
      DerPiece pair;
      TORNELL_TRY(NextElement(pairs, pair));
      if (!pair.Constructed()) continue;
      DerRun parts = pair.content;
      DerPiece type, value;
      if (parts.Empty()) continue;
      TORNELL_TRY(NextElement(parts, type));
      if (parts.Empty()) continue;
      TORNELL_TRY(NextElement(parts, value));
      if (type.Constructed() || !IsCommonNameOid(type.whole)) continue;
      if (value.Constructed()) return pki::kDerMissing;
      return out.Set(value.content.at, int(value.content.end - value.content.at));
    }
  }
  return kStatusOk;
}

}  // namespace

int DnsNameMatches(const char* pattern, int patternLength, const char* host) {
  if (pattern == nullptr || host == nullptr || patternLength < 1) return 0;
  const int hostLength = int(std::strlen(host));
  if (hostLength == 0 || std::memchr(pattern, 0, size_t(patternLength)) != nullptr) return 0;
  if (patternLength >= 2 && pattern[0] == '*' && pattern[1] == '.') {
    // "*.b.c": the suffix needs two labels and the star one whole label.
    const char* suffix = pattern + 1;
    const int suffixLength = patternLength - 1;
    const char* firstDot = static_cast<const char*>(std::memchr(suffix + 1, '.', size_t(suffixLength - 1)));
    if (firstDot == nullptr || firstDot == suffix + 1 || pattern[patternLength - 1] == '.') return 0;
    if (std::memchr(pattern + 1, '*', size_t(patternLength - 1)) != nullptr) return 0;
    const char* hostDot = std::strchr(host, '.');
    if (hostDot == nullptr || hostDot == host) return 0;
    return SameText(hostDot, int(host + hostLength - hostDot), suffix, suffixLength) ? 1 : 0;
  }
  if (std::memchr(pattern, '*', size_t(patternLength)) != nullptr) return 0;
  return SameText(pattern, patternLength, host, hostLength) ? 1 : 0;
}

int CertificateNames(const pki::X509Certificate& leaf, StringList& dnsNames, StringList& ipAddresses,
                     ByteString& commonName, int& hasNames) {
  hasNames = 0;
  TORNELL_TRY(SubjectAltNames(leaf, dnsNames, ipAddresses, hasNames));
  return FirstCommonName(leaf, commonName);
}

int HostMatchesCertificate(const pki::X509Certificate& leaf, const char* host) {
  if (host == nullptr || *host == '\0') return 0;
  StringList dnsNames, ipAddresses;
  int hasNames = 0;
  // The subject's name is read only when no DNS name settles the match: finding
  // it walks the whole certificate again.
  if (SubjectAltNames(leaf, dnsNames, ipAddresses, hasNames) != kStatusOk) return 0;
  unsigned char address[16];
  const int addressLength = HostAddress(host, address);
  if (addressLength > 0) {
    for (int i = 0; i < ipAddresses.Count(); ++i) {
      if (ipAddresses.EntryLength(i) == addressLength &&
          std::memcmp(ipAddresses.Get(i), address, size_t(addressLength)) == 0) {
        return 1;
      }
    }
    return 0;
  }
  if (dnsNames.Count() > 0) {
    for (int i = 0; i < dnsNames.Count(); ++i) {
      if (DnsNameMatches(dnsNames.Get(i), dnsNames.EntryLength(i), host) == 1) return 1;
    }
    return 0;
  }
  ByteString commonName;
  if (FirstCommonName(leaf, commonName) != kStatusOk) return 0;
  return DnsNameMatches(commonName.Data(), commonName.Length(), host);
}

}  // namespace tornell::tls
