#pragma once
// Getting key DER out of key files (PEM with the traditional password
// encryption, PKCS#8 with PBES2), the bcrypt key derivation of OpenSSH keys,
// and the binary private-key blobs.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "pki/keys/TextArmor.h"

namespace tornell::pki {

constexpr int kKeyFormatNotFound = 1424;  // label, armour or key structure not found or not usable
constexpr int kKeyUnknownName = 2001;     // cipher name, hash name or curve index the writers do not take
constexpr int kKeyBadPadding = 2004;
constexpr int kKeyFileUnreadable = 280;   // an SSH2 or PuTTY key file that cannot be read      // block padding wrong after decryption: a wrong password

class KeyFileFormats {
 public:
  // PEM (or bare Base64, or binary) to DER, decrypted when a DEK-Info header
  // asks for it.
  [[nodiscard]] static int DecodePem(TextArmor& out, const char* label, const char* data, int length,
                                     const SecretBytes& password, int requireLabel);
  // The text between the BEGIN line of the label and the END line, as is.
  [[nodiscard]] static int ExtractArmorBody(TextArmor& out, const char* label, const char* data, int length);
  // Decrypts `inout` in place. A hash name containing "hmac" selects PBKDF2
  // over the whole salt; otherwise bytes-to-key over its first 8 bytes. The
  // block padding stays in place and is not checked here.
  [[nodiscard]] static int DecryptPemBody(const char* cipherName, TextArmor& inout, const SecretBytes& password,
                                          const unsigned char* iv, int ivLength, int passwordFirst,
                                          const char* hashName, int iterations, const ByteString* explicitIv);
  // PKCS#8 PEM, encrypted or not, to key DER: PKCS#1 for RSA, the whole
  // PrivateKeyInfo for DSA (isDsa) and EC or Edwards keys (isEc).
  [[nodiscard]] static int DecodePkcs8(TextArmor& out, const char* data, int length, const SecretBytes& password,
                                       int& isDsa, int& isEc);
  // bcrypt_pbkdf with a 48-byte output: 32 key bytes, 16 IV bytes. Any KDF
  // name but "bcrypt" leaves both outputs alone.
  [[nodiscard]] static int BcryptPbkdf(const SecretBytes& password, const char* kdfName, const unsigned char* salt,
                                       int saltLength, int rounds, SecretBytes& key, SecretBytes& iv);

  // CryptoAPI PRIVATEKEYBLOB "RSA2"; integers big-endian as held.
  [[nodiscard]] static int WriteRsaBlob(TextArmor& out, const ByteString& modulus, const ByteString& exponent,
                                        const ByteString& p, const ByteString& q, const ByteString& dp,
                                        const ByteString& dq, const ByteString& qInv, const ByteString& d);
  // CryptoAPI PRIVATEKEYBLOB "DSS4".
  [[nodiscard]] static int WriteDssBlob(TextArmor& out, const ByteString& p, const ByteString& q, const ByteString& g,
                                        const ByteString& y, const ByteString& x);
  // "EC", curve index (0 P-256, 1 P-384, 2 P-521), then D, X, Y length-prefixed.
  [[nodiscard]] static int WriteEcBlob(TextArmor& out, int curveIndex, const ByteString& x, const ByteString& y,
                                       const ByteString& d);
  // "Ed", curve index (3 Ed25519, 4 Ed448), then private, public, third value.
  [[nodiscard]] static int WriteEdBlob(TextArmor& out, int curveIndex, const ByteString& publicKey,
                                       const ByteString& privateKey, const ByteString& third);
};

// Test seam: 0 is no limit; above 0, BcryptPbkdf refuses more rounds than
// that, so that a fuzzed key file cannot make one input run for hours.
extern int g_bcryptRoundsLimit;

// PKCS#7 block padding of the last block, checked without branching on the
// bytes: kStatusOk or kKeyBadPadding.
[[nodiscard]] int CheckBlockPadding(const unsigned char* data, int length, int blockLength);

}  // namespace tornell::pki
