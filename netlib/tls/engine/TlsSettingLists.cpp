#include "tls/engine/TlsSettingLists.h"

#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>

#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "core/text/SplitList.h"
#include "crypto/random/RandomSource.h"

namespace tornell::tls {
namespace {

struct Named {
  int id;
  const char* name;
};

constexpr Named kAlerts[] = {
    {0, "CLOSE_NOTIFY"},           {10, "UNEXPECTED_MESSAGE"},
    {20, "BAD_RECORD_MAC"},        {21, "DECRYPTION_FAILED"},
    {22, "RECORD_OVERFLOW"},       {30, "DECOMPRESSION_FAILURE"},
    {40, "HANDSHAKE_FAILURE"},     {41, "NO_CERTIFICATE_RESERVED"},
    {42, "BAD_CERTIFICATE"},       {43, "UNSUPPORTED_CERTIFICATE"},
    {44, "CERTIFICATE_REVOKED"},   {45, "CERTIFICATE_EXPIRED"},
    {46, "CERTIFICATE_UNKNOWN"},   {47, "ILLEGAL_PARAMETER"},
    {48, "UNKNOWN_CA"},            {49, "ACCESS_DENIED"},
    {50, "DECODE_ERROR"},          {51, "DECRYPT_ERROR"},
    {60, "EXPORT_RESTRICTION_RESERVED"}, {70, "PROTOCOL_VERSION"},
    {71, "INSUFFICIENT_SECURITY"}, {80, "INTERNAL_ERROR"},
    {90, "USER_CANCELED"},         {100, "NO_RENEGOTIATION"},
};

struct Scheme {
  int id;
  std::string_view name;
  const char* hash;
};

constexpr Scheme kSchemes[] = {
    {0x0401, "rsa_pkcs1_sha256", "SHA256"},       {0x0501, "rsa_pkcs1_sha384", "SHA384"},
    {0x0601, "rsa_pkcs1_sha512", "SHA512"},       {0x0403, "ecdsa_secp256r1_sha256", "SHA256"},
    {0x0503, "ecdsa_secp384r1_sha384", "SHA384"}, {0x0603, "ecdsa_secp521r1_sha512", "SHA512"},
    {0x0804, "rsa_pss_sha256", "SHA256"},         {0x0805, "rsa_pss_sha384", "SHA384"},
    {0x0806, "rsa_pss_sha512", "SHA512"},         {0x0807, "ed25519", nullptr},
    {0x0808, "ed448", nullptr},
};

struct Group {
  int id;
  std::string_view name;
  int bits;  // prime size of a finite-field group, 0 for a curve
};

constexpr Group kGroups[] = {
    {256, "ffdhe_2048", 2048},  {257, "ffdhe_3072", 3072},  {258, "ffdhe_4096", 4096},
    {259, "ffdhe_6144", 6144},  {260, "ffdhe_8192", 8192},  {23, "ecdhe_secp256r1", 0},
    {24, "ecdhe_secp384r1", 0}, {25, "ecdhe_secp521r1", 0}, {29, "ecdhe_x25519", 0},
    {30, "ecdhe_x448", 0},
};

// The default setting texts, name by name.
constexpr ListedName kTls12GroupNames[] = {
    {23, "ecdhe_secp256r1", 15}, {24, "ecdhe_secp384r1", 15}, {25, "ecdhe_secp521r1", 15}};
constexpr ListedName kTls13GroupNames[] = {
    {23, "ecdhe_secp256r1", 15}, {24, "ecdhe_secp384r1", 15}, {25, "ecdhe_secp521r1", 15},
    {256, "ffdhe_2048", 10},     {257, "ffdhe_3072", 10},     {258, "ffdhe_4096", 10},
    {259, "ffdhe_6144", 10},     {260, "ffdhe_8192", 10}};
constexpr ListedName kTls13SchemeNames[] = {
    {0x0804, "rsa_pss_sha256", 14},         {0x0805, "rsa_pss_sha384", 14},
    {0x0806, "rsa_pss_sha512", 14},         {0x0401, "rsa_pkcs1_sha256", 16},
    {0x0501, "rsa_pkcs1_sha384", 16},       {0x0601, "rsa_pkcs1_sha512", 16},
    {0x0403, "ecdsa_secp256r1_sha256", 22}, {0x0503, "ecdsa_secp384r1_sha384", 22},
    {0x0603, "ecdsa_secp521r1_sha512", 22}};

constexpr const char* kKnownHashes[] = {"none", "md5", "sha1", "sha224", "sha256", "sha384", "sha512"};
constexpr const char* kKnownSignatures[] = {"rsa", "dsa", "ecdsa", "all"};

template <typename T, size_t N>
bool Contains(const T (&table)[N], const char* text) {
  for (const T& entry : table) {
    if (std::strcmp(entry, text) == 0) return true;
  }
  return false;
}

bool IsBlank(const char* text) {
  if (text == nullptr) return true;
  while (*text == ' ') ++text;
  return *text == '\0';
}

// Shared by the group and scheme validators.
int ValidateAgainst(const char* text, const char* allowed, ByteString& stored) {
  if (IsBlank(text)) return stored.Clear();
  StringList items;
  TORNELL_TRY(SplitList(text, ',', items));
  for (int i = 0; i < items.Count(); ++i) {
    if (std::strstr(allowed, items.Get(i)) == nullptr) return kStatusBadListItem;
  }
  return stored.Set(text);
}

bool SignaturePairAccepted(const char* item) {
  StringList parts;
  if (SplitList(item, '-', parts) != kStatusOk || parts.Count() != 2) return false;
  const char* hash = parts.Get(0);
  const char* signature = parts.Get(1);
  if (Contains(kKnownHashes, hash)) return true;
  if (std::strcmp(hash, "all") == 0 && std::strcmp(signature, "anonymous") == 0) return true;
  return Contains(kKnownSignatures, signature);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

// The id of the table entry named by `length` bytes of text, ASCII case
// ignored (the table names are lower case).
template <typename T, size_t N>
int IdByName(const T (&table)[N], const char* text, int length, int& id) {
  if (text == nullptr || length < 0) return kNotFound;
  for (const T& entry : table) {
    if (entry.name.size() != size_t(length)) continue;
    size_t i = 0;
    while (i < entry.name.size() && LowerAscii(text[i]) == entry.name[i]) ++i;
    if (i == entry.name.size()) {
      id = entry.id;
      return kStatusOk;
    }
  }
  return kNotFound;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return c & 0x0F;
}

}  // namespace

int ValidateGroupList(const char* text, int tls13, ByteString& stored) {
  return ValidateAgainst(text, tls13 != 0 ? kTls13GroupsText : kTls12GroupsText, stored);
}

int ValidateSignatureSchemeList(const char* text, ByteString& stored) {
  return ValidateAgainst(text, kTls13SignatureSchemesText, stored);
}

int ValidateTls12SignatureAlgorithms(const char* text, ByteString& stored, ByteString& error) {
  if (IsBlank(text)) return stored.Clear();
  StringList items;
  TORNELL_TRY(SplitList(text, ',', items));
  for (int i = 0; i < items.Count(); ++i) {
    if (!SignaturePairAccepted(items.Get(i))) {
      TORNELL_TRY(error.Format("Invalid TLS12SignatureAlgorithms value '%s'.", items.Get(i)));
      return kStatusBadSignatureAlgorithms;
    }
  }
  return stored.Set(text);
}

const char* AlertName(int code, int tls13) {
  if (code == 1 && tls13 != 0) return "ENDOFEARLYDATA";
  for (const Named& alert : kAlerts) {
    if (alert.id == code) return alert.name;
  }
  return "UNKOWN_ALERT";
}

int SignatureSchemeId(const char* name, int& id) {
  return name != nullptr ? SignatureSchemeId(name, int(std::strlen(name)), id) : kNotFound;
}

int SignatureSchemeId(const char* name, int length, int& id) { return IdByName(kSchemes, name, length, id); }

const char* SignatureSchemeName(int id) {
  // The names are literals: their views end in NUL.
  for (const Scheme& scheme : kSchemes) {
    if (scheme.id == id) return scheme.name.data();
  }
  return "";
}

const char* SignatureSchemeHash(int id) {
  for (const Scheme& scheme : kSchemes) {
    if (scheme.id == id) return scheme.hash;
  }
  return nullptr;
}

const char* Tls12HashName(int code) {
  static const char* const kNames[] = {"MD5", "SHA1", "SHA224", "SHA256", "SHA384", "SHA512"};
  return code >= 1 && code <= 6 ? kNames[code - 1] : nullptr;
}

int GroupId(const char* name, int& id) {
  return name != nullptr ? GroupId(name, int(std::strlen(name)), id) : kNotFound;
}

int GroupId(const char* name, int length, int& id) { return IdByName(kGroups, name, length, id); }

const ListedName* DefaultListNames(const char* text, ListKind kind, int& count) {
  if (text == nullptr) return nullptr;
  if (kind == ListKind::kSchemes) {
    count = int(std::size(kTls13SchemeNames));
    return std::strcmp(text, kTls13SignatureSchemesText) == 0 ? kTls13SchemeNames : nullptr;
  }
  if (std::strcmp(text, kTls13GroupsText) == 0) {
    count = int(std::size(kTls13GroupNames));
    return kTls13GroupNames;
  }
  count = int(std::size(kTls12GroupNames));
  return std::strcmp(text, kTls12GroupsText) == 0 ? kTls12GroupNames : nullptr;
}

int GroupName(int id, ByteString& out) {
  for (const Group& group : kGroups) {
    if (group.id == id) return out.Set(group.name.data(), int(group.name.size()));
  }
  return out.Format("Unknown group name for id: %d", id);
}

int GroupSize(int id, int& bits) {
  switch (id) {
    case 23: return 256;
    case 24: return 384;
    case 25: return 521;
    default: break;
  }
  for (const Group& group : kGroups) {
    if (group.id == id && group.bits != 0) {
      bits = group.bits;
      return kStatusOk;
    }
  }
  return kNotFound;
}

int Concat2(const ByteString& a, const ByteString& b, ByteString& out) {
  // Built aside: out may be one of the inputs, and the parts are often keys.
  SecretBytes joined;
  TORNELL_TRY(joined.Append(a));
  TORNELL_TRY(joined.Append(b));
  return out.Assign(joined);
}

int Concat3(const ByteString& a, const ByteString& b, const ByteString& c, ByteString& out) {
  SecretBytes joined;
  TORNELL_TRY(joined.Append(a));
  TORNELL_TRY(joined.Append(b));
  TORNELL_TRY(joined.Append(c));
  return out.Assign(joined);
}

uint32_t HexValue(const char* text) {
  uint32_t value = 0;
  if (text == nullptr) return value;
  for (; *text != '\0'; ++text) value = (value << 4) | static_cast<uint32_t>(HexDigit(*text));
  return value;
}

int RandomBytes(int n, ByteString& out) {
  if (n < 0) n = 0;
  TORNELL_TRY(out.Resize(n));
  RandomSource source;
  source.Fill(out.Data(), 0, n);
  if (n > 4) {
    // The wall clock: the millisecond tick wraps and is no calendar time.
    const uint32_t seconds = static_cast<uint32_t>(std::time(nullptr));
    unsigned char* at = out.Bytes();
    at[0] = static_cast<unsigned char>(seconds >> 24);
    at[1] = static_cast<unsigned char>(seconds >> 16);
    at[2] = static_cast<unsigned char>(seconds >> 8);
    at[3] = static_cast<unsigned char>(seconds);
  }
  return kStatusOk;
}

int StripOneLeadingZero(ByteString& bytes) {
  if (bytes.Length() > 0 && bytes.ByteAt(0) == 0) return bytes.EraseFront(1);
  return kStatusOk;
}

int FitToLength(ByteString& bytes, int n) {
  const int length = bytes.Length();
  if (length == n) return kStatusOk;
  if (length > n) return StripOneLeadingZero(bytes);
  SecretBytes fitted;
  TORNELL_TRY(fitted.AppendRepeated(n - length, 0));
  TORNELL_TRY(fitted.Append(bytes));
  return bytes.Assign(fitted);
}

}  // namespace tornell::tls
