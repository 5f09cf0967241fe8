#pragma once
// Fixed-capacity sign-and-magnitude integer for the Weierstrass curve code.
// No operation allocates; every temporary is a local value.
#include <cstdint>

#include "crypto/ecc/curve/EcStatus.h"

namespace tornell {

class RandomSource;

struct EcBigInt {
  static constexpr int kMaxWords = 384;
  static constexpr int kMaxBytes = kMaxWords * 4;

  int32_t wordCount;
  uint32_t words[kMaxWords];
  uint32_t sign;  // 1 non-negative, 0 negative

  constexpr EcBigInt() : wordCount(1), words{1}, sign(1) {}  // the value 1

  static const EcBigInt One;

  static void SetZero(EcBigInt& v);
  static void Copy(EcBigInt& dst, const EcBigInt& src);
  static void Normalize(EcBigInt& v);
  [[nodiscard]] static int IsZero(const EcBigInt& v);
  [[nodiscard]] static int IsEven(const EcBigInt& v);
  [[nodiscard]] static int TestBit(const EcBigInt& v, int position);
  [[nodiscard]] static int TestBitFromOne(const EcBigInt& v, unsigned position);
  static void SetBit(EcBigInt& v, int position, int on);
  [[nodiscard]] static int BitLength(const EcBigInt& v);
  [[nodiscard]] static int GreaterMagnitude(const EcBigInt& a, const EcBigInt& b);
  [[nodiscard]] static int Equals(const EcBigInt& a, const EcBigInt& b);

  [[nodiscard]] static int Add(const EcBigInt& a, const EcBigInt& b, EcBigInt& out);
  [[nodiscard]] static int Subtract(const EcBigInt& a, const EcBigInt& b, EcBigInt& out);
  [[nodiscard]] static int AddWord(const EcBigInt& v, uint32_t w, EcBigInt& out);
  [[nodiscard]] static int Increment(EcBigInt& v);
  [[nodiscard]] static int Multiply(const EcBigInt& a, const EcBigInt& b, EcBigInt& out);
  [[nodiscard]] static int MultiplyWord(const EcBigInt& a, uint32_t w, EcBigInt& out);

  static void ShiftLeftOne(EcBigInt& v);
  static void ShiftRightOne(EcBigInt& v);
  [[nodiscard]] static int ShiftLeft(EcBigInt& v, int bits);
  static void ShiftRight(EcBigInt& v, unsigned bits);
  [[nodiscard]] static int ShiftWordsLeft(EcBigInt& v, int n);
  [[nodiscard]] static int ShiftLeftInto(const EcBigInt& src, unsigned bits, EcBigInt& out);

  [[nodiscard]] static int Mod(const EcBigInt& a, const EcBigInt& m, EcBigInt& out);
  [[nodiscard]] static int ModPow(const EcBigInt& base, const EcBigInt& exponent, const EcBigInt& m, EcBigInt& out);
  [[nodiscard]] static int ModInverse(const EcBigInt& a, const EcBigInt& m, EcBigInt& gcdOut, EcBigInt& inverseOut);
  [[nodiscard]] static int MontgomeryMultiply(const EcBigInt& a, const EcBigInt& b, const EcBigInt& m, uint32_t mPrime,
                                              int k, EcBigInt& out);
  [[nodiscard]] static int Random(EcBigInt& v, int n, RandomSource& source);
  // Big-endian bytes to a normalized value; 20480 past the capacity (out untouched).
  [[nodiscard]] static int FromBytes(const void* bytes, int64_t length, EcBigInt& out);
};

// Word-array helpers shared by the field code.
namespace ecwords {
// r = a mod m over word arrays (na words of a, nm words of m, m's top word non-zero); r gets nm words.
void Remainder(const uint32_t* a, int na, const uint32_t* m, int nm, uint32_t* r);
[[nodiscard]] int Compare(const uint32_t* a, const uint32_t* b, int n);
// -m0^-1 mod 2^32 for an odd m0.
uint32_t NegInverse32(uint32_t m0);
// out[0..k) = a * b * 2^(-32k) mod m for a, b below m; t needs k + 2 words.
// The final subtraction is masked, so the timing does not depend on the values.
void MontMulWords(const uint32_t* a, const uint32_t* b, const uint32_t* m, uint32_t mPrime, int k, uint32_t* t,
                  uint32_t* out);
}  // namespace ecwords

}  // namespace tornell
