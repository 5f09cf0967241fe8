#pragma once
// The PKCS#12 password-based key and IV derivation (RFC 7292 appendix B.2),
// diversifier 1 for keys and 2 for IVs, over a digest chosen by name. The
// block length v is the digest's own input block (64 for SHA-1).
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashAlgorithm.h"

namespace tornell {

class Pkcs12KeyDerivation {
 public:
  Pkcs12KeyDerivation();
  ~Pkcs12KeyDerivation();
  Pkcs12KeyDerivation(const Pkcs12KeyDerivation&) = delete;
  Pkcs12KeyDerivation& operator=(const Pkcs12KeyDerivation&) = delete;

  [[nodiscard]] int SetHashName(const char* name) { return hashName_.Set(name); }
  // Each byte of the password is one character (code point 0-255).
  [[nodiscard]] int SetPassword(const char* password) { return password_.Set(password); }
  [[nodiscard]] int SetSalt(const ByteString& salt) { return salt_.Assign(salt); }
  int GetLastError() const { return lastError_; }

  // `out` is replaced by `length` bytes; on failure it keeps its content.
  // 2001 for a hash name the digest front does not know.
  [[nodiscard]] int DeriveKey(int iterations, int length, ByteString& out);
  [[nodiscard]] int DeriveIv(int iterations, int length, ByteString& out);
  // The core over a diversifier block D of v bytes.
  [[nodiscard]] int Derive(int iterations, const ByteString& d, int length, ByteString& out);
  // The password as a BMPString with its two-byte terminator.
  [[nodiscard]] int PasswordToBmp(ByteString& out);

 private:
  [[nodiscard]] int DeriveWithId(int iterations, int diversifier, int length, ByteString& out);
  // The block length v of the named digest, or 2001.
  int BlockLength(int& v);

  ByteString hashName_;
  SecretBytes password_;
  ByteString salt_;
  int lastError_;
};

}  // namespace tornell
