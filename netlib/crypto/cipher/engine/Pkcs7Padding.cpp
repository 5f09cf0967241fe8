#include "crypto/cipher/engine/Pkcs7Padding.h"

#include "core/secure/ConstantTime.h"

namespace tornell::pkcs7 {

uint32_t CheckPadding(const uint8_t* data, int length, int blockLength, int* count) {
  const uint32_t len = uint32_t(length);
  const uint32_t b = uint32_t(blockLength);
  const uint32_t n = data[length - 1];
  const uint32_t window = len < b ? len : b;
  uint32_t bad = ct::IsZero(n) | ct::LessThan(b, n) | ct::LessThan(len, n);
  for (uint32_t i = 0; i < window; ++i) bad |= ct::LessThan(i, n) & (data[len - 1 - i] ^ n);
  const uint32_t good = ct::IsZero(bad);
  *count = int(good & n);
  return good;
}

}  // namespace tornell::pkcs7
