#pragma once
// Key and IV from a password for encrypted key files: the classic iterated
// bytes-to-key hashing with MD5, SHA-1 or MD2 (in either order of password and
// previous block), or PBKDF2 when the hash name contains "hmac".
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/mac/Hmac.h"
#include "crypto/digest/hash/Md2Digest.h"
#include "crypto/digest/hash/Md5Digest.h"
#include "crypto/digest/hash/Sha1Digest.h"

namespace tornell {

constexpr int kStatusUnknownKdfHash = 3001;  // hash name the derivation does not take

class PasswordKeyDeriver {
 public:
  PasswordKeyDeriver();
  ~PasswordKeyDeriver();
  PasswordKeyDeriver(const PasswordKeyDeriver&) = delete;
  PasswordKeyDeriver& operator=(const PasswordKeyDeriver&) = delete;

  [[nodiscard]] int SetHashName(const char* name) { return hashName_.Set(name); }
  // The password is taken up to its first zero byte.
  [[nodiscard]] int SetPassword(const char* password) { return password_.Set(password); }
  [[nodiscard]] int SetSalt(const char* bytes, int length) { return salt_.Set(bytes, length); }
  int GetLastError() const { return lastError_; }

  // Derives keyLength + ivLength bytes; `key` and `iv` point at the object's
  // copies (set only for a length above 0) until the next derivation.
  [[nodiscard]] int DeriveKeyAndIv(int iterations, char*& key, int keyLength, char*& iv, int ivLength,
                     int passwordFirst);
  // Fills `out` (passed empty) with `length` derived bytes.
  [[nodiscard]] int DeriveBytes(int iterations, const char* hashName, const char* password, const char* salt,
                  int saltLength, int length, int passwordFirst, ByteString& out);

 private:
  [[nodiscard]] int DerivePbkdf2(const ByteString& lowerName, int iterations, const char* password,
                   const char* salt, int saltLength, int length, ByteString& out);
  // D = H(data); 3001 for a name other than MD5, SHA1 and MD2.
  [[nodiscard]] int HashOnce(const char* hashName, const char* data, int length, ByteString& digest);

  ByteString hashName_;
  SecretBytes password_;
  ByteString salt_;
  SecretBytes key_;
  ByteString iv_;
  int lastError_;
  Sha1Digest sha1_;
  Md2Digest md2_;
  Md5Digest md5_;
};

}  // namespace tornell
