#pragma once
// Padding numbers every caller of the cipher engine passes.

namespace tornell {

struct CipherPadding {
  enum : int { None = 1, PKCS7 = 2, Zeros = 3, ZerosAndCount = 4, RandomAndCount = 5 };
};

}  // namespace tornell
