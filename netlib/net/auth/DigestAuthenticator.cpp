#include "net/auth/DigestAuthenticator.h"

#include <cstdint>
#include <cstring>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"
#include "core/text/TextUtils.h"
#include "crypto/digest/hash/Md5Digest.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

namespace {

const char kUnknownQopText[] = "Digest authentication error: unknown qop value.";
const char kUnknownAlgorithmText[] = "Digest authentication error: unknown algorithm value.";
const char kBadCharacterText[] =
    "Digest authentication error: user, realm or uri holds a line break or a zero byte.";

bool NameIs(const char* name, int length, const char* expected) {
  return static_cast<int>(std::strlen(expected)) == length &&
         CompareNoCaseN(name, expected, static_cast<size_t>(length)) == 0;
}

// CR, LF or NUL inside a quoted value would end or cut the header line.
template <int N>
bool BreaksLine(const InlineString<N>& text) {
  for (int i = 0; i < text.Length(); ++i) {
    const int c = text.ByteAt(i);
    if (c == '\r' || c == '\n' || c == 0) return true;
  }
  return false;
}

}  // namespace

DigestAuthenticator::DigestAuthenticator() { Reset(); }

void DigestAuthenticator::Reset() {
  ClearChallenge();
  user_.Clear();
  password_.Clear();
  uri_.Clear();
  method_.Clear();
  body_.Clear();
  errorText_.Clear();
}

void DigestAuthenticator::ClearChallenge() {
  realm_.Clear();
  qop_.Clear();
  nonce_.Clear();
  cnonce_.Clear();
  opaque_.Clear();
  // Short literals fit the inline buffer: this cannot fail.
  (void)algorithm_.Set("md5");
  nc_ = 0;
}

int DigestAuthenticator::SetCredentials(const char* user, int userLength, const char* password,
                                        int passwordLength) {
  TORNELL_TRY(user_.Set(user, user != nullptr ? userLength : 0));
  return password_.Set(password, password != nullptr ? passwordLength : 0);
}

int DigestAuthenticator::SetRequest(const char* method, const char* uri, const char* body,
                                    int bodyLength) {
  TORNELL_TRY(method_.Set(method));
  TORNELL_TRY(uri_.Set(uri));
  return body_.Set(body, body != nullptr ? bodyLength : 0);
}

int DigestAuthenticator::Fail(const char* text) {
  TORNELL_TRY(errorText_.Set(text));
  return kStatusUnusable;
}

int DigestAuthenticator::StoreParameter(const char* name, int nameLength, const char* value,
                                        int valueLength) {
  if (NameIs(name, nameLength, "REALM")) return realm_.Set(value, valueLength);
  if (NameIs(name, nameLength, "QOP")) return qop_.Set(value, valueLength);
  if (NameIs(name, nameLength, "ALGORITHM")) return algorithm_.Set(value, valueLength);
  if (NameIs(name, nameLength, "NONCE")) return nonce_.Set(value, valueLength);
  if (NameIs(name, nameLength, "OPAQUE")) return opaque_.Set(value, valueLength);
  return kStatusOk;  // stale, domain and the like are not needed
}

int DigestAuthenticator::NormaliseQop() {
  if (qop_.StartsWith("auth,")) return qop_.Set("auth");
  if (qop_.Contains("auth-int")) return qop_.Set("auth-int");
  if (qop_.Contains("auth")) return qop_.Set("auth");
  return kStatusOk;
}

int DigestAuthenticator::MakeCnonce() {
  // An unpredictable client nonce: the server's nonce alone would let a
  // chosen-plaintext attacker precompute responses.
  uint8_t bytes[4];
  RandomSource().Fill(bytes, 0, sizeof bytes);
  cnonce_.Clear();
  return cnonce_.AppendHex(bytes, sizeof bytes);
}

int DigestAuthenticator::ParseChallenge(const char* text) {
  ClearChallenge();
  const char* at = text != nullptr ? text : "";
  while (*at != '\0') {
    while (*at == ' ' || *at == '\t') ++at;
    const char* equals = std::strchr(at, '=');
    if (equals == nullptr) break;
    const char* name = at;
    const int nameLength = static_cast<int>(equals - at);
    const char* value = equals + 1;
    const char* end;
    if (*value == '"') {
      ++value;
      end = std::strchr(value, '"');
      if (end == nullptr) end = value + std::strlen(value);
      at = *end == '"' ? end + 1 : end;
      if (*at == ',') ++at;
    } else {
      end = std::strchr(value, ',');
      if (end == nullptr) end = value + std::strlen(value);
      at = *end == ',' ? end + 1 : end;
    }
    TORNELL_TRY(StoreParameter(name, nameLength, value, static_cast<int>(end - value)));
  }
  TORNELL_TRY(NormaliseQop());
  nc_ = 0;
  if (qop_.IsEmpty()) return kStatusOk;
  return MakeCnonce();
}

bool DigestAuthenticator::KnownAlgorithm() const {
  return algorithm_.EqualsIgnoreCase("MD5") || algorithm_.EqualsIgnoreCase("MD5-sess");
}

int DigestAuthenticator::BuildAuthorization(ByteString& out, bool withAlgorithm) {
  if (nonce_.IsEmpty() || user_.IsEmpty()) return kStatusOk;
  // An unknown algorithm (SHA-256 of RFC 7616, say) would be answered with a
  // response the server can never accept.
  if (!KnownAlgorithm()) return Fail(kUnknownAlgorithmText);
  if (BreaksLine(user_) || BreaksLine(realm_) || BreaksLine(uri_)) return Fail(kBadCharacterText);
  TORNELL_TRY(out.Set("Digest username="));
  TORNELL_TRY(out.AppendQuoted(user_.CStr()));
  TORNELL_TRY(out.Append(", realm="));
  TORNELL_TRY(out.AppendQuoted(realm_.CStr()));
  TORNELL_TRY(out.Append(", nonce="));
  TORNELL_TRY(out.AppendQuoted(nonce_.CStr()));
  TORNELL_TRY(out.Append(", uri="));
  TORNELL_TRY(out.AppendQuoted(uri_.CStr()));
  if (withAlgorithm) {
    TORNELL_TRY(out.Append(", algorithm="));
    TORNELL_TRY(out.AppendQuoted(algorithm_.CStr()));
  }
  if (!qop_.IsEmpty()) {
    if (!qop_.Equals("auth-int") && !qop_.Equals("auth")) return Fail(kUnknownQopText);
    ++nc_;
    TORNELL_TRY(out.Append(", qop="));
    TORNELL_TRY(out.AppendQuoted(qop_.CStr()));
    TORNELL_TRY(out.AppendFormat(", nc=%08x, cnonce=", static_cast<unsigned>(nc_)));
    TORNELL_TRY(out.AppendQuoted(cnonce_.CStr()));
  }
  ByteString response;
  TORNELL_TRY(ComputeResponse(response));
  TORNELL_TRY(out.Append(", response="));
  TORNELL_TRY(out.AppendQuoted(response.CStr()));
  if (!opaque_.IsEmpty()) {
    TORNELL_TRY(out.Append(", opaque="));
    TORNELL_TRY(out.AppendQuoted(opaque_.CStr()));
  }
  return kStatusOk;
}

int DigestAuthenticator::ComputeResponse(ByteString& out) {
  // A1 holds the password and HA1 is as good as it: both wipe.
  SecretBytes a1;
  if (KnownAlgorithm()) {
    TORNELL_TRY(a1.Append(user_));
    TORNELL_TRY(a1.AppendByte(':'));
    TORNELL_TRY(a1.Append(realm_));
    TORNELL_TRY(a1.AppendByte(':'));
    TORNELL_TRY(a1.Append(password_));
    if (algorithm_.EqualsIgnoreCase("MD5-sess")) {
      SecretBytes inner;
      TORNELL_TRY(Md5Hex(a1.Data(), a1.Length(), inner));
      TORNELL_TRY(inner.AppendByte(':'));
      TORNELL_TRY(inner.Append(nonce_));
      TORNELL_TRY(inner.AppendByte(':'));
      TORNELL_TRY(inner.Append(cnonce_));
      TORNELL_TRY(a1.Set(inner.Data(), inner.Length()));
    }
  }
  ByteString a2;
  TORNELL_TRY(a2.Append(method_));
  TORNELL_TRY(a2.AppendByte(':'));
  TORNELL_TRY(a2.Append(uri_));
  if (qop_.Equals("auth-int")) {
    TORNELL_TRY(a2.AppendByte(':'));
    TORNELL_TRY(Md5Hex(body_.Data(), body_.Length(), a2));
  }
  SecretBytes joined;
  TORNELL_TRY(Md5Hex(a1.Data(), a1.Length(), joined));
  TORNELL_TRY(joined.AppendByte(':'));
  TORNELL_TRY(joined.Append(nonce_));
  TORNELL_TRY(joined.AppendByte(':'));
  if (!qop_.IsEmpty()) {
    TORNELL_TRY(joined.AppendFormat("%08x", static_cast<unsigned>(nc_)));
    TORNELL_TRY(joined.AppendByte(':'));
    TORNELL_TRY(joined.Append(cnonce_));
    TORNELL_TRY(joined.AppendByte(':'));
    TORNELL_TRY(joined.Append(qop_));
    TORNELL_TRY(joined.AppendByte(':'));
  }
  TORNELL_TRY(Md5Hex(a2.Data(), a2.Length(), joined));
  return Md5Hex(joined.Data(), joined.Length(), out);
}

int DigestAuthenticator::Md5Hex(const void* bytes, int length, ByteString& out) {
  Md5Digest md5;
  md5.Update(static_cast<const char*>(bytes), length);
  const unsigned char* digest = md5.Final();
  const int status = out.AppendHex(digest, Md5Digest::kDigestBytes);
  SecureWipeObject(md5);
  return status;
}

int DigestAuthenticator::Md5HexJoined(const void* a, int aLength, const void* b, int bLength,
                                      ByteString& out) {
  Md5Digest md5;
  md5.Update(static_cast<const char*>(a), aLength);
  md5.Update(":", 1);
  md5.Update(static_cast<const char*>(b), bLength);
  const unsigned char* digest = md5.Final();
  const int status = out.AppendHex(digest, Md5Digest::kDigestBytes);
  SecureWipeObject(md5);
  return status;
}

}  // namespace tornell
