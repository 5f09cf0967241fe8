#pragma once
// Base of the key-material holders (RSA, DSA, EC keys): it records which
// algorithm the material belongs to, and brings big-endian values to a width.
#include "core/text/ByteString.h"

namespace tornell {

class AsymmetricKey {
 public:
  static constexpr int kRsa = 0;
  static constexpr int kDsa = 1;
  static constexpr int kEc = 3;

  explicit AsymmetricKey(int type) : keyType(type) {}
  virtual ~AsymmetricKey() = default;
  AsymmetricKey(const AsymmetricKey&) = delete;
  AsymmetricKey& operator=(const AsymmetricKey&) = delete;

  // Makes `value` exactly `width` bytes: zeros in front when it is shorter,
  // leading bytes dropped when it is longer; an empty value stays empty.
  // 0, or 200 when the string cannot grow.
  [[nodiscard]] static int FitLength(int width, ByteString& value);
  // FitLength that never drops a non-zero byte: a value that would change
  // is left as it is (result 0).
  [[nodiscard]] static int FitLengthKeepingValue(int width, ByteString& value);

  const int keyType;
};

}  // namespace tornell
