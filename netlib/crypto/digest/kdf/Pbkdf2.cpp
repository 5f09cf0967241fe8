#include "crypto/digest/kdf/Pbkdf2.h"

#include "core/secure/SecureWipe.h"

#include <cstring>

#include "crypto/digest/hash/DigestBytes.h"

namespace tornell {

void Pbkdf2::XorInto(char* target, const char* source, int n) {
  for (int k = 0; k < n; ++k) target[k] = static_cast<char>(target[k] ^ source[k]);
}

int Pbkdf2::Derive(int id, const char* password, int passwordLength, const char* salt,
                   int saltLength, int iterations, int keyBits, char* out) {
  id_ = id;
  int status = Init(id);
  if (status != 0) return status;
  const int hLen = GetMacBits() / 8;
  const int keyBytes = keyBits / 8;
  if (hLen == 0 || keyBytes > kMaxBlocks * hLen) return kStatusNoMemory;
  // No iteration would leave the password out altogether: an all-zero key.
  if (iterations < 1) return kStatusKdfBadRequest;
  const int blocks = keyBytes > 0 ? CeilDiv(keyBytes, hLen) : 0;
  char block[kMaxMacBytes];
  for (int i = 0; i < blocks; ++i) {
    status = DeriveBlock(password, passwordLength, salt, saltLength, iterations, i, block);
    if (status != 0) break;
    const int take = i == blocks - 1 ? keyBytes - i * hLen : hLen;
    std::memcpy(out + i * hLen, block, static_cast<size_t>(take));
  }
  SecureWipe(block, sizeof block);
  return status;
}

int Pbkdf2::DeriveBlock(const char* password, int passwordLength, const char* salt, int saltLength,
                        int iterations, int blockIndex, char* block) {
  if (iterations < 1) return kStatusKdfBadRequest;
  int status = Init(id_, password, passwordLength);
  if (status != 0) return status;
  const int hLen = GetMacBits() / 8;
  if (hLen == 0) return kStatusNoMemory;
  const uint32_t number = static_cast<uint32_t>(blockIndex) + 1;
  const char counter[4] = {static_cast<char>(number >> 24), static_cast<char>(number >> 16),
                           static_cast<char>(number >> 8), static_cast<char>(number)};
  if (saltLength > 0) status = Update(salt, saltLength);
  if (status == 0) status = Update(counter, 4);
  if (status == 0) status = Final();
  if (status != 0) return status;
  char u[kMaxMacBytes];
  std::memcpy(u, GetMac(), static_cast<size_t>(hLen));
  std::memcpy(block, u, static_cast<size_t>(hLen));
  for (int n = 1; n < iterations && status == 0; ++n) {
    status = Update(u, hLen);
    if (status == 0) status = Final();
    if (status == 0) {
      std::memcpy(u, GetMac(), static_cast<size_t>(hLen));
      XorInto(block, u, hLen);
    }
  }
  SecureWipe(u, sizeof u);
  return status;
}

}  // namespace tornell
