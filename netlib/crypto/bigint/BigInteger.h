#pragma once
// Signed arbitrary-precision integer. Values do not change once built: every
// operation returns a new value or fills an out-parameter. Errors are int
// codes (0 success): 2002 not invertible, 2003 modulus not positive, 2004
// negative exponent, 200 a string could not grow.
//
// The interface speaks in 32-bit words (GetInt, the word constructors); the
// magnitude is held as 64-bit limbs, least significant first.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/bigint/LimbMath.h"

namespace tornell {

class ByteString;
class MutableBigInt;
class RandomSource;

class BigInteger {
 public:
  static const BigInteger ZERO;
  static const BigInteger ONE;

  BigInteger() = default;
  // Big-endian two's complement.
  BigInteger(const uint8_t* bytes, int len);
  // Unsigned big-endian magnitude with a sign.
  BigInteger(const uint8_t* bytes, int len, int sign);
  BigInteger(int sign, const uint8_t* bytes, int len);
  // Digits in radix 2..32 with the given sign.
  BigInteger(const char* text, int len, int radix, int sign);
  // Magnitude words, most significant first.
  BigInteger(const uint32_t* words, int len, int sign);
  // Words as big-endian two's complement.
  BigInteger(const uint32_t* words, int len);
  BigInteger(int sign, const uint32_t* words, int len);
  explicit BigInteger(int64_t v);
  BigInteger(const MutableBigInt& m, int sign);
  // Values are often private keys and exponents: storage a value gives up
  // (destruction, assignment over it) is wiped first.
  BigInteger(const BigInteger&) = default;
  BigInteger& operator=(const BigInteger& other);
  BigInteger(BigInteger&&) noexcept = default;
  BigInteger& operator=(BigInteger&& other) noexcept;
  ~BigInteger();
  // A probable prime of exactly bits bits.
  BigInteger(int bits, int certainty, RandomSource& source);
  // A random value of exactly bits bits.
  BigInteger(int bits, RandomSource& source);

  BigInteger Add(const BigInteger& b) const;
  BigInteger Subtract(const BigInteger& b) const;
  BigInteger Multiply(const BigInteger& b) const;
  BigInteger Square() const;
  BigInteger Divide(const BigInteger& b) const;
  BigInteger Remainder(const BigInteger& b) const;
  BigInteger DivideAndRemainder(const BigInteger& b, BigInteger& rem) const;
  uint32_t DivideByWord(uint32_t d, BigInteger& quotient) const;
  [[nodiscard]] int Mod(const BigInteger& m, BigInteger& result) const;
  [[nodiscard]] int ModInverse(const BigInteger& m, BigInteger& result) const;
  // Constant time in the exponent (its value; its limb count is public) for
  // every modulus.
  [[nodiscard]] int ModPow(const BigInteger& e, const BigInteger& m, BigInteger& result) const;
  // ModPow for a secret exponent below 2^exponentBits, a public bound (a short
  // Diffie-Hellman exponent): an odd modulus walks that many bits, not its own
  // width.
  [[nodiscard]] int ModPowBounded(const BigInteger& e, int exponentBits, const BigInteger& m,
                                  BigInteger& result) const;
  // The same result for an exponent that is public (RSA's e, DSA
  // verification): square and multiply on its exact bits.
  [[nodiscard]] int ModPowPublic(const BigInteger& e, const BigInteger& m, BigInteger& result) const;
  [[nodiscard]] int ModPowBinary(const BigInteger& e, const BigInteger& m, BigInteger& result) const;
  [[nodiscard]] int Pow(int e, BigInteger& result) const;
  BigInteger Negate() const;
  BigInteger Abs() const;
  int Signum() const { return sign_; }
  bool Equals(const BigInteger& b) const { return sign_ == b.sign_ && mag_ == b.mag_; }
  int CompareTo(const BigInteger& b) const;
  int BitLength() const;
  int LowestSetBit() const;
  bool TestBit(int n) const;
  uint32_t GetInt(int n) const;
  int64_t LongValue() const;
  BigInteger ShiftLeft(int n) const;
  BigInteger ShiftRight(int n) const;

  [[nodiscard]] int ToByteString(ByteString& out) const;
  void ToBytes(uint8_t* buf, int len) const;
  [[nodiscard]] int ToText(ByteString& out, int radix) const;
  std::string ToText(int radix) const;

  // Probable primes (Miller-Rabin rounds by size, at most certainty).
  int IsProbablePrime(int certainty, RandomSource* source) const;
  void RandomBits(int n, RandomSource& source);
  static int FirstPrime(BigInteger& p, const BigInteger& max, const BigInteger& equiv, const BigInteger& mod);
  static int GeneratePrime(const BigInteger& min, const BigInteger& max, const BigInteger& equiv,
                           const BigInteger& mod, RandomSource& source, BigInteger& result);

  // Internal form, for the arithmetic of this directory.
  const std::vector<limb::Limb>& Magnitude() const { return mag_; }
  static BigInteger FromLimbs(std::vector<limb::Limb> mag, int sign);
  // this^e mod m for e > 0 as untrimmed limbs (the width follows m alone),
  // for callers that keep the power secret; constant time in e.
  [[nodiscard]] int ModPowLimbs(const BigInteger& e, const BigInteger& m, std::vector<limb::Limb>& out,
                                bool publicExponent = false, size_t boundLimbs = 0) const;

 private:
  bool IsOneValue() const { return sign_ == 1 && mag_.size() == 1 && mag_[0] == 1; }
  int ModPowWith(const BigInteger& e, const BigInteger& m, BigInteger& result, bool publicExponent,
                 size_t boundLimbs = 0) const;
  // base^e mod 2^p on ceil(p / 64) limbs, walking `width` limbs of e.
  static std::vector<limb::Limb> ModPow2(const BigInteger& base, const BigInteger& e, int p, size_t width);
  static std::vector<limb::Limb> OddModPow(const BigInteger& base, const BigInteger& e, const BigInteger& m,
                                           bool publicExponent, size_t boundLimbs = 0);
  void SetFromTwosComplementBytes(const uint8_t* bytes, int len);
  void SetFromMagnitudeBytes(const uint8_t* bytes, int len, int sign);
  void Trim();
  void WipeStorage() noexcept;

  int sign_ = 0;
  std::vector<limb::Limb> mag_;
  mutable int bitLength_ = -1;
  mutable int lowestSetBit_ = -2;
};

}  // namespace tornell
