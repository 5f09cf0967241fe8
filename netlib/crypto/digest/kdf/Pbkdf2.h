#pragma once
// PBKDF2 (RFC 8018) with HMAC over a digest number. The password keys the
// HMAC once per block; every iteration then runs from the keyed states.
#include "crypto/digest/mac/Hmac.h"

namespace tornell {

class Pbkdf2 : public Hmac {
 public:
  // At most this many hLen blocks are derived in one call.
  static constexpr int kMaxBlocks = 29;

  Pbkdf2() : id_(HashAlgorithm::kSha1) {}

  // Writes keyBits / 8 bytes to `out`. 200 for an id outside 0-17 or more
  // than kMaxBlocks blocks; 2002 for an iteration count below 1.
  [[nodiscard]] int Derive(int id, const char* password, int passwordLength, const char* salt, int saltLength,
             int iterations, int keyBits, char* out);
  // T(blockIndex + 1): hLen bytes of the digest chosen by the last Derive.
  [[nodiscard]] int DeriveBlock(const char* password, int passwordLength, const char* salt, int saltLength,
                  int iterations, int blockIndex, char* block);

  static void XorInto(char* target, const char* source, int n);
  static int CeilDiv(int a, int b) { return a / b + (a % b >= 1 ? 1 : 0); }

 private:
  int id_;
};

}  // namespace tornell
