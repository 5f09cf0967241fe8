#pragma once
// The TLS setting lists (groups, signature schemes, TLS 1.2 signature
// algorithms): their validators and the tables between names and protocol
// numbers, with the small byte helpers the TLS code shares. Free functions in
// their own namespace: several names clash with the key-format helpers.
#include <cstdint>

#include "core/text/ByteString.h"
#include "core/text/SplitList.h"
#include "core/text/StringList.h"

namespace tornell::tls {

// A TLS12SignatureAlgorithms item that is no hash-signature pair we know.
constexpr int kStatusBadSignatureAlgorithms = 202;
// A group or scheme list item that is not allowed; carries no text.
constexpr int kStatusBadListItem = -1;
// An unknown name or id in the lookups answers core's kNotFound (-1).

// Default setting texts.
inline constexpr const char* kTls12GroupsText = "ecdhe_secp256r1,ecdhe_secp384r1,ecdhe_secp521r1";
inline constexpr const char* kTls13GroupsText =
    "ecdhe_secp256r1,ecdhe_secp384r1,ecdhe_secp521r1,ffdhe_2048,ffdhe_3072,ffdhe_4096,ffdhe_6144,ffdhe_8192";
inline constexpr const char* kTls13KeyShareGroupsText = "ecdhe_secp256r1,ecdhe_secp384r1,ffdhe_2048,ffdhe_3072";
inline constexpr const char* kTls13SignatureSchemesText =
    "rsa_pss_sha256,rsa_pss_sha384,rsa_pss_sha512,rsa_pkcs1_sha256,rsa_pkcs1_sha384,rsa_pkcs1_sha512,"
    "ecdsa_secp256r1_sha256,ecdsa_secp384r1_sha384,ecdsa_secp521r1_sha512";
inline constexpr const char* kTls12SignatureAlgorithmsText =
    "sha1-rsa,sha1-dsa,sha1-ecdsa,sha224-rsa,sha224-dsa,sha224-ecdsa,sha256-rsa,sha256-dsa,sha256-ecdsa,"
    "sha384-rsa,sha384-dsa,sha384-ecdsa,sha512-rsa,sha512-dsa,sha512-ecdsa";

// Every item must occur (as a substring, exact case) in the allowed text;
// `stored` takes the text as given. Null, empty or blank text empties it.
[[nodiscard]] int ValidateGroupList(const char* text, int tls13, ByteString& stored);
[[nodiscard]] int ValidateSignatureSchemeList(const char* text, ByteString& stored);
// 202 with "Invalid TLS12SignatureAlgorithms value '<item>'." in `error`.
[[nodiscard]] int ValidateTls12SignatureAlgorithms(const char* text, ByteString& stored, ByteString& error);

// "UNKOWN_ALERT" (so spelled) for a code without a name.
const char* AlertName(int code, int tls13);

[[nodiscard]] int SignatureSchemeId(const char* name, int& id);  // 0 or -1
// The same for a name of `length` bytes that need not end in NUL.
[[nodiscard]] int SignatureSchemeId(const char* name, int length, int& id);
const char* SignatureSchemeName(int id);                         // "" when unknown
const char* SignatureSchemeHash(int id);                         // null for EdDSA and unknown ids
// The digest name of a TLS 1.2 HashAlgorithm byte (1 MD5 to 6 SHA512), null for others.
const char* Tls12HashName(int code);

[[nodiscard]] int GroupId(const char* name, int& id);  // 0 or -1
[[nodiscard]] int GroupId(const char* name, int length, int& id);

// The names a group or scheme setting list may hold.
enum class ListKind { kGroups, kSchemes };

// A name of a default setting list with its id.
struct ListedName {
  int id;
  const char* name;
  int length;
};

// The default list whose text the setting holds, or null; `count` its names.
const ListedName* DefaultListNames(const char* text, ListKind kind, int& count);

// Hands each name of a group or scheme setting list, in order, to
// `visit(id, name, length)`. A name that is no group or scheme gives
// kStatusBadListItem when `strict`, else is passed over. Every handshake
// reads these lists: the default texts come already looked up.
template <typename Visit>
[[nodiscard]] int ForEachListedId(const char* text, ListKind kind, bool strict, Visit&& visit) {
  int count = 0;
  if (const ListedName* names = DefaultListNames(text, kind, count)) {
    for (int i = 0; i < count; ++i) {
      const int answer = visit(names[i].id, names[i].name, names[i].length);
      if (answer != 0) return answer;
    }
    return 0;
  }
  return ForEachListItem(text, ',', [&](const char* name, int length) {
    int id = 0;
    const int found = kind == ListKind::kGroups ? GroupId(name, length, id) : SignatureSchemeId(name, length, id);
    if (found != 0) return strict ? kStatusBadListItem : 0;
    return visit(id, name, length);
  });
}
[[nodiscard]] int GroupName(int id, ByteString& out);
// FFDHE ids set bits and give 0; 23, 24, 25 give 256, 384, 521; -1 otherwise.
int GroupSize(int id, int& bits);

[[nodiscard]] int Concat2(const ByteString& a, const ByteString& b, ByteString& out);
[[nodiscard]] int Concat3(const ByteString& a, const ByteString& b, const ByteString& c, ByteString& out);
uint32_t HexValue(const char* text);
// n random bytes; above 4 bytes the first four are the time in seconds, big-endian.
[[nodiscard]] int RandomBytes(int n, ByteString& out);
[[nodiscard]] int StripOneLeadingZero(ByteString& bytes);
[[nodiscard]] int FitToLength(ByteString& bytes, int n);

}  // namespace tornell::tls
