#pragma once
// Base of the key-material holders: says which algorithm the material is for.

namespace tornell {

class AsymmetricKey {
 public:
  static constexpr int kRsa = 0;
  static constexpr int kDsa = 1;
  static constexpr int kEc = 3;

  explicit AsymmetricKey(int type) : keyType(type) {}
  virtual ~AsymmetricKey();

  const int keyType;
};

}  // namespace tornell
