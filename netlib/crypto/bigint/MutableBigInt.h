#pragma once
// Unsigned magnitude changed in place: the working form of BigInteger's
// division, radix conversion and modular inversion. Limbs are 64-bit, least
// significant first, with no leading zero limb; zero has no limbs.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "crypto/bigint/LimbMath.h"

namespace tornell {

class MutableBigInt {
 public:
  MutableBigInt() = default;
  explicit MutableBigInt(uint64_t word);
  // Most significant word first, as BigInteger's word view hands them over.
  MutableBigInt(const uint32_t* words, int len);
  MutableBigInt(const limb::Limb* limbs, size_t n);
  MutableBigInt(const MutableBigInt&) = default;
  MutableBigInt& operator=(const MutableBigInt&) = default;
  virtual ~MutableBigInt() = default;

  void Reset();
  void Clear() { Reset(); }
  void SetValue(const limb::Limb* limbs, size_t n);
  void CopyValue(const MutableBigInt& other) { *this = other; }
  // Copies up to n most significant-first 32-bit words; returns the count.
  int CopyOut(uint32_t* out, int n) const;
  void Normalize();

  const limb::Limb* Limbs() const { return mag.data(); }
  size_t LimbCount() const { return mag.size(); }
  int Length() const;  // in 32-bit words

  int Compare(const MutableBigInt& b) const;
  bool IsZero() const { return mag.empty(); }
  bool IsOne() const { return mag.size() == 1 && mag[0] == 1; }
  bool IsEven() const { return mag.empty() || (mag[0] & 1) == 0; }
  bool IsOdd() const { return !IsEven(); }
  bool IsNormal() const { return mag.empty() || mag.back() != 0; }
  int LowestSetBit() const;
  int BitLength() const;

  void Add(const MutableBigInt& b);
  // this = abs(this - b); returns the sign of this - b.
  int Subtract(const MutableBigInt& b);
  int Difference(const MutableBigInt& b) { return Subtract(b); }
  void Multiply(const MutableBigInt& y, MutableBigInt& z) const;
  void MultiplyByWord(uint64_t y, MutableBigInt& z) const;
  void LeftShift(int n);
  void RightShift(int n);

  // quotient = this / d for d != 0; returns the remainder.
  uint64_t DivideOneWord(uint64_t d, MutableBigInt& quotient) const;
  // 2001 when b is zero (nothing changed).
  [[nodiscard]] int Divide(const MutableBigInt& b, MutableBigInt& quotient, MutableBigInt& remainder) const;

  static uint32_t InverseMod32(uint32_t w);

  // result = this^-1 mod p for 0 < this < p; 2002 when there is none.
  [[nodiscard]] int MutableModInverse(const MutableBigInt& p, MutableBigInt& result) const;
  [[nodiscard]] int ModInverseOdd(const MutableBigInt& p, MutableBigInt& result) const;
  [[nodiscard]] int ModInverseMP2(int k, MutableBigInt& result) const;
  [[nodiscard]] int EuclidModInverse(int k, MutableBigInt& result) const;
  // Inverse of 2^k modulo the odd m.
  static void ModInverseBP2(const MutableBigInt& m, int k, MutableBigInt& result);
  // c * 2^-k mod p for odd p and c >= 0.
  static void Fixup(MutableBigInt& c, const MutableBigInt& p, int k, MutableBigInt& result);

 protected:
  std::vector<limb::Limb> mag;
};

}  // namespace tornell
