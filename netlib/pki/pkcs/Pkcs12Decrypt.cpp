// The password-based schemes of PKCS#12 files: the PKCS#12 PBE schemes with
// SHA-1 and PBES2 with PBKDF2 (HMAC-SHA256).
#include <cstring>

#include "core/base/Status.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/digest/kdf/Pkcs12KeyDerivation.h"
#include "pki/der/DerStatus.h"
#include "pki/keys/KeyCodec.h"
#include "pki/pkcs/Pkcs12Reader.h"
#include "pki/x509/DerChildren.h"

namespace tornell::pki {

namespace {

using detail::ChildAt;
using detail::ContentOf;
using detail::OidOf;
using detail::SplitChildAt;

constexpr const char* kOidPbes2 = "1.2.840.113549.1.5.13";
constexpr const char* kOidHmacWithSha256 = "1.2.840.113549.2.9";

struct PbeScheme {
  const char* oid;
  int keyBits;
  int algorithm;  // SymmetricCipher id: 2 triple DES, 7 RC4, 8 RC2
};

constexpr PbeScheme kPbeSchemes[] = {
    {"1.2.840.113549.1.12.1.1", 128, 7}, {"1.2.840.113549.1.12.1.2", 40, 7}, {"1.2.840.113549.1.12.1.3", 192, 2},
    {"1.2.840.113549.1.12.1.4", 128, 2}, {"1.2.840.113549.1.12.1.5", 128, 8}, {"1.2.840.113549.1.12.1.6", 40, 8},
};
constexpr int kRc4 = 7;
constexpr int kPbeIvLength = 8;

struct Pbes2Cipher {
  const char* oid;
  const char* name;
  int blockLength;
};

constexpr Pbes2Cipher kPbes2Ciphers[] = {
    {"2.16.840.1.101.3.4.1.42", "AES-256-CBC", 16},
    {"2.16.840.1.101.3.4.1.2", "AES-128-CBC", 16},
    {"1.2.840.113549.3.7", "DES-EDE3-CBC", 8},
};

const PbeScheme* FindPbe(const ByteString& oid) {
  for (const PbeScheme& s : kPbeSchemes) {
    if (oid.Equals(s.oid)) return &s;
  }
  return nullptr;
}

const Pbes2Cipher* FindPbes2Cipher(const ByteString& oid) {
  for (const Pbes2Cipher& c : kPbes2Ciphers) {
    if (oid.Equals(c.oid)) return &c;
  }
  return nullptr;
}

}  // namespace

int Pkcs12Reader::DecryptContent(const ByteString& data, const ByteString& oid, const ByteString& parameters,
                                 int iterations, SecretBytes& out) {
  if (oid.Equals(kOidPbes2)) return DecryptPbes2(data, parameters, out);
  const PbeScheme* scheme = FindPbe(oid);
  // An unknown scheme decrypts to nothing, which no reader takes.
  if (scheme == nullptr) return out.Clear();
  Pkcs12KeyDerivation derivation;
  TORNELL_TRY(derivation.SetHashName("SHA1"));
  TORNELL_TRY(derivation.SetPassword(password.CStr()));
  TORNELL_TRY(derivation.SetSalt(parameters));
  SecretBytes key, iv;
  TORNELL_TRY(derivation.DeriveKey(iterations, scheme->keyBits / 8, key));
  TORNELL_TRY(derivation.DeriveIv(iterations, kPbeIvLength, iv));
  SymmetricCipher cipher;
  TORNELL_TRY(cipher.SetAlgorithm(scheme->algorithm));
  if (scheme->algorithm == kRc4) {
    TORNELL_TRY(cipher.InitDecrypt(key.Data(), key.Length(), nullptr, 0));
  } else {
    TORNELL_TRY(cipher.SetMode(CipherMode::CBC));
    TORNELL_TRY(cipher.SetPadding(CipherPadding::PKCS7));
    TORNELL_TRY(cipher.InitDecrypt(key.Data(), key.Length(), iv.Data(), iv.Length()));
  }
  TORNELL_TRY(out.Clear());
  return cipher.Final(data.Data(), 0, data.Length(), out);
}

int Pkcs12Reader::DecryptPbes2(const ByteString& data, const ByteString& parameters, SecretBytes& out) {
  DerElement node;
  TORNELL_TRY(node.body.output.Assign(parameters));
  TORNELL_TRY(node.SplitChildren());
  DerElement* kdf = nullptr;
  TORNELL_TRY(SplitChildAt(node, 0, kdf));
  DerElement* kdfParameters = nullptr;
  TORNELL_TRY(SplitChildAt(*kdf, 1, kdfParameters));
  ByteString salt;
  TORNELL_TRY(ContentOf(*kdfParameters, 0, salt));
  DerElement* count = nullptr;
  TORNELL_TRY(ChildAt(*kdfParameters, 1, count));
  int iterations = 0;
  TORNELL_TRY(count->body.ReadInt(0, iterations));
  // Without the PRF element the default would be HMAC-SHA1, which is refused.
  if (kdfParameters->childCount < 3) return kPkcs12UnusableScheme;
  DerElement* prf = nullptr;
  ByteString prfOid;
  if (SplitChildAt(*kdfParameters, 2, prf) != kStatusOk || OidOf(*prf, 0, prfOid) != kStatusOk ||
      !prfOid.Equals(kOidHmacWithSha256)) {
    return kPkcs12UnusableScheme;
  }
  DerElement* scheme = nullptr;
  TORNELL_TRY(SplitChildAt(node, 1, scheme));
  ByteString cipherOid, iv;
  TORNELL_TRY(OidOf(*scheme, 0, cipherOid));
  TORNELL_TRY(ContentOf(*scheme, 1, iv));
  const Pbes2Cipher* cipher = FindPbes2Cipher(cipherOid);
  if (cipher == nullptr || !UsableCount(iterations)) return kPkcs12UnusableScheme;
  TORNELL_TRY(KeyCodec::PasswordDecrypt(data.Data(), data.Length(), password, cipher->name, salt.Data(),
                                        salt.Length(), "hmacsha256", iterations, iv.Data(), iv.Length(), out));
  // The padding was checked by the decryption, which leaves it in place.
  return out.SetLength(out.Length() - out.ByteAt(out.Length() - 1));
}

}  // namespace tornell::pki
