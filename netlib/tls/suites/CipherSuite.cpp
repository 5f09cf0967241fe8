#include "tls/suites/CipherSuite.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "core/base/Status.h"
#include "core/text/SplitList.h"
#include "core/text/TextUtils.h"
#include "crypto/cipher/engine/CipherMode.h"
#include "crypto/cipher/engine/CipherPadding.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "tls/engine/NumberText.h"
#include "tls/suites/CipherSuiteRegistry.h"

namespace tornell {
namespace {

using namespace keyexchange;

bool KindIn(int kind, std::initializer_list<int> kinds) {
  for (int k : kinds) {
    if (k == kind) return true;
  }
  return false;
}

bool IsNamedCurveGroup(int group) { return group == 23 || group == 24 || group == 25; }

bool AnonymousKind(int kind) { return KindIn(kind, {kDhAnon, kDhAnonExport, kEcdhAnon}); }

bool ExportKind(int kind) { return KindIn(kind, {kRsaExport, kDheDssExport, kDheRsaExport, kDhAnonExport}); }

// Whether the enabled-suites text holds the suite name, in capitals.
int NameListedIn(const char* name, const char* text) {
  if (text == nullptr || name == nullptr || *name == '\0') return 0;
  char upper[128];
  size_t n = 0;
  for (; name[n] != '\0' && n + 1 < sizeof upper; ++n) {
    const char c = name[n];
    upper[n] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  }
  upper[n] = '\0';
  return std::strstr(text, upper) != nullptr ? 1 : 0;
}

}  // namespace

// Suites sit inside engines and components that are made with plain new or
// malloc, which promise no more than this.
static_assert(alignof(CipherSuite) <= alignof(std::max_align_t), "a suite must not need over-aligned storage");

CipherSuite::CipherSuite() = default;

CipherSuite::CipherSuite(int suiteCode) {
  const SuiteParameters* row = CipherSuiteRegistry::ParametersOf(suiteCode);
  if (row == nullptr) return;
  code = row->code;
  // The registry's rows name ciphers and hashes this library has: Setup cannot fail.
  (void)Setup(row->name, row->keyExchangeKind, row->macHash, row->cipherName, row->keyBits, row->prfHash,
              row->minVersion);
}

CipherSuite::~CipherSuite() = default;

int CipherSuite::Setup(const char* suiteName, int kind, int hash, const char* bulkName, int keyBits, int prf,
                       int lowestVersion) {
  keyExchangeKind = kind;
  macHash = hash;
  prfHash = prf;
  keyLength = keyBits / 8;
  minVersion = lowestVersion;
  TORNELL_TRY(name.Set(suiteName));
  TORNELL_TRY(cipherName.Set(bulkName));
  TORNELL_TRY(cipher.SetAlgorithmByName(bulkName));
  aeadKind = cipherName.Equals("AES-GCM")             ? kAesGcmAead
             : cipherName.Equals("CHACHA20-POLY1305") ? kChaChaAead
                                                      : kNotAead;
  if (IsAead() == 0) {
    TORNELL_TRY(cipher.SetMode(CipherMode::CBC));
    TORNELL_TRY(cipher.SetPadding(CipherPadding::None));
  }
  encryptStarted = 0;
  decryptStarted = 0;
  aeadKeyed = 0;
  return DropMacKey();
}

// The MAC is keyed when first used, not with every copy or reset of the
// suite: most suites in a handshake never compute one.
int CipherSuite::DropMacKey() {
  if (macKeyed == 0) return kStatusOk;
  macKeyed = 0;
  return mac->Init(macHash);
}

int CipherSuite::KeyMac() {
  if (macKeyed != 0) return kStatusOk;
  if (mac == nullptr) {
    mac.reset(new (std::nothrow) Hmac());
    if (mac == nullptr) return kStatusNoMemory;
  }
  TORNELL_TRY(mac->Init(macHash, macSecret.Data(), macSecret.Length()));
  macKeyed = 1;
  return kStatusOk;
}

int CipherSuite::IsKnownCode(int suiteCode) {
  return CipherSuiteRegistry::ParametersOf(suiteCode) != nullptr ? 1 : 0;
}

int CipherSuite::Reset() {
  TORNELL_TRY(fixedIv.Clear());
  TORNELL_TRY(macSecret.Clear());
  aeadTagLength = -1;
  // Nothing of the old key stays: its expanded key and GHASH tables are wiped.
  gcm.Forget();
  chacha.reset();
  aeadKeyed = 0;
  if (IsKnownCode(code) == 0) return kStatusOk;
  SuiteName ownName;
  ShortString ownCipher;
  TORNELL_TRY(ownName.Assign(name));
  TORNELL_TRY(ownCipher.Assign(cipherName));
  return Setup(ownName.CStr(), keyExchangeKind, macHash, ownCipher.CStr(), keyLength * 8, prfHash, minVersion);
}

int CipherSuite::CopyFrom(const CipherSuite& other) {
  if (this == &other) return kStatusOk;
  code = other.code;
  keyExchangeKind = other.keyExchangeKind;
  macHash = other.macHash;
  prfHash = other.prfHash;
  keyLength = other.keyLength;
  minVersion = other.minVersion;
  TORNELL_TRY(name.Assign(other.name));
  TORNELL_TRY(cipherName.Assign(other.cipherName));
  // Most copies are of unkeyed suites into unkeyed ones: nothing to carry.
  if (!fixedIv.IsEmpty() || !other.fixedIv.IsEmpty()) TORNELL_TRY(fixedIv.Assign(other.fixedIv));
  if (!macSecret.IsEmpty() || !other.macSecret.IsEmpty()) TORNELL_TRY(macSecret.Assign(other.macSecret));
  TORNELL_TRY(DropMacKey());
  TORNELL_TRY(cipher.CopyFrom(other.cipher));
  aeadKind = other.aeadKind;
  encryptStarted = other.encryptStarted;
  decryptStarted = other.decryptStarted;
  aeadKeyed = 0;  // keyed again from the copied key on the next record
  aeadTagLength = -1;
  return kStatusOk;
}

const char* CipherSuite::GetKeyExchangeName() const {
  switch (keyExchangeKind) {
    case kRsa:
    case kRsaExport: return "RSA";
    case kDhDss:
    case kDhRsa:
    case kEcdhEcdsa:
    case kEcdhRsa: return "DH";
    case kDheDss:
    case kDheDssExport:
    case kDheRsa:
    case kDheRsaExport:
    case kEcdheEcdsa:
    case kEcdheRsa: return "DH Ephemeral";
    case kDhAnon:
    case kDhAnonExport:
    case kEcdhAnon: return "DH Anonymous";
    default: return "";
  }
}

const char* CipherSuite::GetMacHashName() const {
  switch (macHash) {
    case HashAlgorithm::kSha1: return "SHA1";
    case HashAlgorithm::kMd5: return "MD5";
    case HashAlgorithm::kSha256: return "SHA256";
    case HashAlgorithm::kSha512: return "SHA512";
    case HashAlgorithm::kSha384: return "SHA384";
    default: return nullptr;
  }
}

int CipherSuite::GetMacLength() const { return HashContext::DigestLengthOf(macHash); }

int CipherSuite::GetIvLength() const {
  if (code == 0x1301 || code == 0x1302 || code == 0x1303) return 12;
  return GetBlockBits() / 8;
}

int CipherSuite::GetFinalKeyLength() const {
  if (IsExport() != 0) return cipherName.Equals("DES") ? 8 : 16;
  return keyLength;
}

int CipherSuite::IsRc4() const { return cipherName.Equals("RC4") ? 1 : 0; }

int CipherSuite::IsAnonymous() const { return AnonymousKind(keyExchangeKind) ? 1 : 0; }

int CipherSuite::UsesRsaCertificate() const {
  return KindIn(keyExchangeKind, {kRsa, kRsaExport, kDhRsa, kDheRsa, kDheRsaExport, kEcdheRsa, kEcdhRsa}) ? 1 : 0;
}

int CipherSuite::UsesDssCertificate() const {
  return KindIn(keyExchangeKind, {kDhDss, kDheDss, kDheDssExport}) ? 1 : 0;
}

int CipherSuite::IsExport() const { return ExportKind(keyExchangeKind) ? 1 : 0; }

int CipherSuite::IsEcdhe() const { return KindIn(keyExchangeKind, {kEcdheEcdsa, kEcdheRsa}) ? 1 : 0; }

int CipherSuite::IsEcdh() const { return KindIn(keyExchangeKind, {kEcdhEcdsa, kEcdhRsa, kEcdhAnon}) ? 1 : 0; }

int CipherSuite::GetPrfHash(int version) const {
  return version == tlsversion::kTls12 || version == tlsversion::kTls13 ? prfHash : 0;
}

int CipherSuite::IsListedIn(const char* text) const { return NameListedIn(name.CStr(), text); }

const char* CipherSuite::GetDisplayName() const {
  // "<name> (0x<CODE>)" in at most 127 bytes, without printf: the server
  // reports it every handshake.
  char text[128];
  size_t n = 0;
  const auto put = [&text, &n](const char* part, size_t length) {
    if (length > sizeof text - 1 - n) length = sizeof text - 1 - n;
    std::memcpy(text + n, part, length);
    n += length;
  };
  char hex[16];
  put(name.CStr(), size_t(name.Length()));
  put(" (0x", 4);
  put(hex, std::strlen(tls::HexText(static_cast<uint32_t>(code), true, hex)));
  put(")", 1);
  // A failed copy leaves the previous text; the caller still gets a C string.
  if (displayName.Set(text, int(n)) != kStatusOk) return "";
  return displayName.CStr();
}

int CipherSuite::SetKeyAndIv(const ByteString& key, const ByteString& iv) {
  aeadKeyed = 0;
  TORNELL_TRY(cipher.SetKey(key.Data(), key.Length()));
  return cipher.SetIV(iv.Data(), iv.Length());
}

int CipherSuite::GetKey(ByteString& out) const {
  const char* key = nullptr;
  int length = 0;
  TORNELL_TRY(cipher.GetKey(&key, &length));
  return out.Set(key, length);
}

int CipherSuite::SetMacSecret(const ByteString& secret) {
  TORNELL_TRY(macSecret.Assign(secret));
  return DropMacKey();
}

// ---- the registry -----------------------------------------------------------

const CipherSuite* CipherSuite::FindByCode(int suiteCode) {
  return CipherSuiteRegistry::Get(CipherSuiteRegistry::IndexOf(suiteCode));
}

const CipherSuite* CipherSuite::FindByName(const char* suiteName) {
  if (suiteName == nullptr) return nullptr;
  for (int i = 0; i < CipherSuiteRegistry::Count(); ++i) {
    if (std::strcmp(CipherSuiteRegistry::Row(i).name, suiteName) == 0) return CipherSuiteRegistry::Get(i);
  }
  return nullptr;
}

int CipherSuite::FindIdByName(const char* suiteName) {
  if (suiteName == nullptr) return -1;
  for (int i = 0; i < CipherSuiteRegistry::Count(); ++i) {
    const SuiteParameters& row = CipherSuiteRegistry::Row(i);
    if (CompareNoCase(row.name, suiteName) == 0) return row.code;
  }
  return -1;
}

int CipherSuite::CopyByCode(int suiteCode, CipherSuite& target) {
  const CipherSuite* suite = FindByCode(suiteCode);
  return suite != nullptr ? target.CopyFrom(*suite) : kStatusOk;
}

int CipherSuite::IsEccCode(int suiteCode) {
  return (suiteCode >= 0xC001 && suiteCode <= 0xC019) || (suiteCode >= 0xC023 && suiteCode <= 0xC032) ? 1 : 0;
}

int CipherSuite::ListHasEcc(const CodeList& codes) {
  for (int i = 0; i < codes.Count(); ++i) {
    if (IsEccCode(codes.Get(i)) != 0) return 1;
  }
  return 0;
}

int CipherSuite::BuildEnabledList(const char* enabledText, int maxVersion, int allowExport, int protocolMask,
                                  CodeList& out) {
  // The table rows, not the suites: choosing touches only the small rows.
  const auto offered = [maxVersion, allowExport, protocolMask](const SuiteParameters& row) {
    if (row.minVersion > maxVersion) return false;
    if (protocolMask == 0x3000 && row.minVersion <= tlsversion::kTls12) return false;
    return allowExport != 0 || !ExportKind(row.keyExchangeKind);
  };
  const SuiteParameters* chosen[kMaxEnabledCodes];
  int count = 0;
  const bool everything = enabledText == nullptr || std::strchr(enabledText, '*') != nullptr;
  if (everything) {
    // One pass over the registry; `count` still caps the rows taken before
    // the version and export filters.
    const size_t textLength = enabledText != nullptr ? std::strlen(enabledText) : 0;
    for (int i = 0; i < CipherSuiteRegistry::Count() && count < kMaxEnabledCodes; ++i) {
      const SuiteParameters& row = CipherSuiteRegistry::Row(i);
      // No certificate authenticates an anonymous suite: "*" never offers one.
      if (AnonymousKind(row.keyExchangeKind) &&
          (textLength < std::strlen(row.name) || NameListedIn(row.name, enabledText) == 0)) {
        continue;
      }
      ++count;
      if (offered(row)) TORNELL_TRY(out.Add(row.code));
    }
    return kStatusOk;
  } else {
    // Names beyond the working list's size are ignored.
    TORNELL_TRY(ForEachListItem(enabledText, ';', [&chosen, &count](const char* wanted, int length) {
      for (int k = 0; k < CipherSuiteRegistry::Count() && count < kMaxEnabledCodes; ++k) {
        const char* name = CipherSuiteRegistry::Row(k).name;
        if (std::strncmp(name, wanted, size_t(length)) != 0 || name[length] != '\0') continue;
        chosen[count++] = &CipherSuiteRegistry::Row(k);
        break;
      }
      return kStatusOk;
    }));
  }
  for (int i = 0; i < count; ++i) {
    if (offered(*chosen[i])) TORNELL_TRY(out.Add(chosen[i]->code));
  }
  return kStatusOk;
}

int CipherSuite::Acceptable(const char* certificateAlgorithm, bool peerHasCurve,
                            bool peerHasCertificateGroup, int anonymousFlag, int tls13) const {
  if (IsAnonymous() != 0 && anonymousFlag == 0) return 1;
  if (certificateAlgorithm == nullptr) return 0;
  if (tls13 != 0 && minVersion == tlsversion::kTls13) return 1;
  const auto is = [certificateAlgorithm](const char* text) { return std::strcmp(certificateAlgorithm, text) == 0; };
  if ((is("RSA_RSA") || is("RSA")) && UsesRsaCertificate() != 0) return 1;
  if ((is("X957_DSA") || is("DSA")) && UsesDssCertificate() != 0) return 1;
  if (is("IdEcPublicKey") && UsesEcc() != 0 && peerHasCurve && (IsEcdh() == 0 || peerHasCertificateGroup)) return 1;
  return 0;
}

int CipherSuite::ChooseServerSuiteFor(const CodeList& offered, const char* certificateAlgorithm,
                                      int certificateGroup, const CodeList* peerGroups, const char* enabledText,
                                      int anonymousFlag, int allowExport, int tls13, CipherSuite& out) {
  const bool everything = enabledText != nullptr && std::strchr(enabledText, '*') != nullptr;
  bool peerHasCurve = false;
  bool peerHasCertificateGroup = false;
  for (int i = 0; peerGroups != nullptr && i < peerGroups->Count(); ++i) {
    const int group = peerGroups->Get(i);
    peerHasCurve = peerHasCurve || IsNamedCurveGroup(group);
    peerHasCertificateGroup = peerHasCertificateGroup || (certificateGroup != -1 && group == certificateGroup);
  }
  for (int i = 0; i < offered.Count(); ++i) {
    const int index = CipherSuiteRegistry::IndexOf(offered.Get(i));
    if (index < 0) continue;
    const SuiteParameters& row = CipherSuiteRegistry::Row(index);
    if (allowExport == 0 && ExportKind(row.keyExchangeKind)) continue;
    const int listed = NameListedIn(row.name, enabledText);
    if (!everything && listed == 0) continue;
    // An anonymous suite only when the enabled text names it: "*" never lets one in.
    if (AnonymousKind(row.keyExchangeKind) && listed == 0) continue;
    const CipherSuite* suite = CipherSuiteRegistry::Get(index);
    if (suite->Acceptable(certificateAlgorithm, peerHasCurve, peerHasCertificateGroup,
                          anonymousFlag, tls13) != 0) {
      return out.CopyFrom(*suite);
    }
  }
  return kNoAcceptableSuite;
}

}  // namespace tornell
