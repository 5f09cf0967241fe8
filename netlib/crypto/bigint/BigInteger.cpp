#include "crypto/bigint/BigInteger.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <initializer_list>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "core/text/ByteString.h"
#include "crypto/bigint/BigIntStatus.h"
#include "crypto/bigint/Montgomery.h"
#include "crypto/bigint/MutableBigInt.h"

namespace tornell {

using limb::DLimb;
using limb::Limb;

using namespace bigint_status;

namespace {

// Largest d with radix^d < 2^31, and with radix^d < 2^63, for radix 2..32.
constexpr int kDigitsPerWord[33] = {0,  0,  30, 19, 15, 13, 11, 11, 10, 9, 9, 8, 8, 8, 8, 7, 7,
                                    7,  7,  7,  7,  7,  6,  6,  6,  6,  6, 6, 6, 6, 6, 6, 6};
constexpr int kDigitsPerLong[33] = {0,  0,  62, 39, 31, 27, 24, 22, 20, 19, 18, 18, 17, 17, 16, 16, 15,
                                    15, 15, 14, 14, 14, 14, 13, 13, 13, 13, 13, 13, 12, 12, 12, 12};
// ceil(1024 * log2(radix)).
constexpr int kBitsPerDigit[33] = {0,    0,    1024, 1624, 2048, 2378, 2648, 2875, 3072, 3247, 3402,
                                   3543, 3672, 3790, 3899, 4001, 4096, 4186, 4271, 4350, 4426, 4498,
                                   4567, 4633, 4696, 4756, 4814, 4870, 4923, 4975, 5025, 5074, 5120};

// Value of one text byte; digits are not validated against the radix.
int64_t DigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return int64_t(c) - 55;
}

uint64_t PowWord(uint64_t radix, int n) {
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) r *= radix;
  return r;
}

// Negates a little-endian two's complement limb array in place.
void NegateLimbs(std::vector<Limb>& v) {
  Limb carry = 1;
  for (Limb& x : v) {
    x = ~x + carry;
    carry = (carry != 0 && x == 0) ? 1 : 0;
  }
}

}  // namespace

// Built before the other static tables of the library, which may use them.
__attribute__((init_priority(101))) const BigInteger BigInteger::ZERO;
__attribute__((init_priority(101))) const BigInteger BigInteger::ONE(int64_t(1));

BigInteger::~BigInteger() { WipeStorage(); }

BigInteger& BigInteger::operator=(const BigInteger& other) {
  if (this != &other) {
    WipeStorage();
    mag_ = other.mag_;
    sign_ = other.sign_;
    bitLength_ = other.bitLength_;
    lowestSetBit_ = other.lowestSetBit_;
  }
  return *this;
}

BigInteger& BigInteger::operator=(BigInteger&& other) noexcept {
  if (this != &other) {
    WipeStorage();
    mag_ = std::move(other.mag_);
    other.mag_.clear();
    sign_ = other.sign_;
    bitLength_ = other.bitLength_;
    lowestSetBit_ = other.lowestSetBit_;
  }
  return *this;
}

void BigInteger::WipeStorage() noexcept {
  // The whole allocation: a trimmed value may have left limbs past its size.
  if (mag_.capacity() == 0) return;
  mag_.resize(mag_.capacity());
  SecureWipe(mag_.data(), mag_.size() * sizeof(Limb));
  mag_.clear();
}

BigInteger BigInteger::FromLimbs(std::vector<Limb> mag, int sign) {
  BigInteger r;
  r.mag_ = std::move(mag);
  r.sign_ = sign;
  r.Trim();
  return r;
}

void BigInteger::Trim() {
  mag_.resize(limb::Trim(mag_.data(), mag_.size()));
  // A sign of 0 from a caller means zero whatever the magnitude.
  if (sign_ == 0) mag_.clear();
  if (mag_.empty()) sign_ = 0;
  sign_ = sign_ < 0 ? -1 : sign_ > 0 ? 1 : 0;
  bitLength_ = -1;
  lowestSetBit_ = -2;
}

void BigInteger::SetFromTwosComplementBytes(const uint8_t* bytes, int len) {
  if (bytes == nullptr || len <= 0) return;
  bool negative = (bytes[0] & 0x80) != 0;
  mag_.assign((size_t(len) + 7) / 8, negative ? ~Limb(0) : 0);
  for (int i = 0; i < len; ++i) {
    size_t bit = size_t(len - 1 - i) * 8;
    Limb& l = mag_[bit / 64];
    l &= ~(Limb(0xFF) << (bit % 64));
    l |= Limb(bytes[i]) << (bit % 64);
  }
  if (negative) NegateLimbs(mag_);
  sign_ = negative ? -1 : 1;
  Trim();
}

void BigInteger::SetFromMagnitudeBytes(const uint8_t* bytes, int len, int sign) {
  if (bytes == nullptr || len <= 0) return;
  // A limb at a time from the low end, the bytes of each big-endian.
  mag_.resize((size_t(len) + 7) / 8);
  int end = len;
  for (Limb& l : mag_) {
    const int begin = end > 8 ? end - 8 : 0;
    Limb v = 0;
    for (int i = begin; i < end; ++i) v = (v << 8) | bytes[i];
    l = v;
    end = begin;
  }
  sign_ = sign;
  Trim();
}

BigInteger::BigInteger(const uint8_t* bytes, int len) { SetFromTwosComplementBytes(bytes, len); }

BigInteger::BigInteger(const uint8_t* bytes, int len, int sign) { SetFromMagnitudeBytes(bytes, len, sign); }

BigInteger::BigInteger(int sign, const uint8_t* bytes, int len) { SetFromMagnitudeBytes(bytes, len, sign); }

BigInteger::BigInteger(const uint32_t* words, int len, int sign) {
  MutableBigInt m(words, len);
  *this = BigInteger(m, sign);
}

BigInteger::BigInteger(int sign, const uint32_t* words, int len) {
  MutableBigInt m(words, len);
  *this = BigInteger(m, sign);
}

BigInteger::BigInteger(const uint32_t* words, int len) {
  if (words == nullptr || len <= 0) return;
  bool negative = (words[0] & 0x80000000u) != 0;
  mag_.assign((size_t(len) + 1) / 2, negative ? ~Limb(0) : 0);
  for (int i = 0; i < len; ++i) {
    size_t bit = size_t(len - 1 - i) * 32;
    Limb& l = mag_[bit / 64];
    l &= ~(Limb(0xFFFFFFFFu) << (bit % 64));
    l |= Limb(words[i]) << (bit % 64);
  }
  if (negative) NegateLimbs(mag_);
  sign_ = negative ? -1 : 1;
  Trim();
}

BigInteger::BigInteger(int64_t v) {
  if (v == 0) return;
  sign_ = v < 0 ? -1 : 1;
  mag_.push_back(v < 0 ? Limb(0) - Limb(v) : Limb(v));
}

BigInteger::BigInteger(const MutableBigInt& m, int sign) {
  mag_.assign(m.Limbs(), m.Limbs() + m.LimbCount());
  sign_ = sign;
  Trim();
}

BigInteger::BigInteger(const char* text, int len, int radix, int sign) {
  if (radix < 2 || radix > 32 || text == nullptr || len <= 0) return;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  int start = 0;
  while (start < len && t[start] == '0') ++start;
  if (start == len) return;
  const int64_t n = len - start;
  // The word count of the digit form; the value is kept modulo 2^(32 * words),
  // which only matters for digits at or above the radix.
  const int64_t words = (((n * kBitsPerDigit[radix]) >> 10) + 32) / 32;
  const int per = kDigitsPerWord[radix];
  int64_t first = n % per;
  if (first == 0) first = per;
  int64_t acc = 0;
  for (int64_t i = 0; i < first; ++i) acc = acc * radix + DigitValue(t[start + i]);
  std::vector<Limb> v((size_t(words) + 1) / 2 + 1, 0);
  v[0] = uint32_t(acc);
  const Limb scale = PowWord(uint64_t(radix), per);
  for (int64_t pos = start + first; pos < len; pos += per) {
    int64_t group = 0;
    for (int i = 0; i < per; ++i) group = group * radix + DigitValue(t[pos + i]);
    if (int32_t(uint32_t(uint64_t(group))) < 0) return;  // parse ends at zero
    limb::MulWord(v.data(), v.data(), v.size(), scale);
    limb::AddWord(v.data(), v.size(), uint32_t(uint64_t(group)));
  }
  const size_t keepBits = size_t(words) * 32;
  for (size_t i = 0; i < v.size(); ++i) {
    size_t lo = i * 64;
    if (lo >= keepBits)
      v[i] = 0;
    else if (keepBits - lo < 64)
      v[i] &= (Limb(1) << (keepBits - lo)) - 1;
  }
  mag_ = std::move(v);
  sign_ = sign;
  Trim();
}

BigInteger BigInteger::Negate() const {
  BigInteger r(*this);
  r.sign_ = -sign_;
  r.bitLength_ = -1;
  return r;
}

BigInteger BigInteger::Abs() const { return sign_ < 0 ? Negate() : *this; }

int BigInteger::CompareTo(const BigInteger& b) const {
  if (sign_ != b.sign_) return sign_ < b.sign_ ? -1 : 1;
  int c = limb::CompareTrimmed(mag_.data(), mag_.size(), b.mag_.data(), b.mag_.size());
  return sign_ < 0 ? -c : c;
}

namespace {

std::vector<Limb> AddMagnitudes(const std::vector<Limb>& a, const std::vector<Limb>& b) {
  const std::vector<Limb>& big = a.size() >= b.size() ? a : b;
  const std::vector<Limb>& small = a.size() >= b.size() ? b : a;
  std::vector<Limb> r(big.size() + 1);
  Limb carry = limb::AddN(r.data(), big.data(), small.data(), small.size());
  for (size_t i = small.size(); i < big.size(); ++i) {
    r[i] = big[i] + carry;
    carry = (carry != 0 && r[i] == 0) ? 1 : 0;
  }
  r[big.size()] = carry;
  return r;
}

// a - b for a >= b.
std::vector<Limb> SubMagnitudes(const std::vector<Limb>& a, const std::vector<Limb>& b) {
  std::vector<Limb> r(a);
  Limb borrow = limb::SubN(r.data(), r.data(), b.data(), b.size());
  limb::SubWord(r.data() + b.size(), r.size() - b.size(), borrow);
  return r;
}

}  // namespace

BigInteger BigInteger::Add(const BigInteger& b) const {
  if (b.sign_ == 0) return *this;
  if (sign_ == 0) return b;
  if (sign_ == b.sign_) return FromLimbs(AddMagnitudes(mag_, b.mag_), sign_);
  int c = limb::CompareTrimmed(mag_.data(), mag_.size(), b.mag_.data(), b.mag_.size());
  if (c == 0) return BigInteger();
  return c > 0 ? FromLimbs(SubMagnitudes(mag_, b.mag_), sign_) : FromLimbs(SubMagnitudes(b.mag_, mag_), -sign_);
}

BigInteger BigInteger::Subtract(const BigInteger& b) const { return Add(b.Negate()); }

BigInteger BigInteger::Multiply(const BigInteger& b) const {
  if (sign_ == 0 || b.sign_ == 0) return BigInteger();
  std::vector<Limb> r(mag_.size() + b.mag_.size());
  if (&b == this || mag_ == b.mag_)
    limb::Square(r.data(), mag_.data(), mag_.size());
  else
    limb::Mul(r.data(), mag_.data(), mag_.size(), b.mag_.data(), b.mag_.size());
  return FromLimbs(std::move(r), sign_ * b.sign_);
}

BigInteger BigInteger::Square() const { return Multiply(*this); }

BigInteger BigInteger::DivideAndRemainder(const BigInteger& b, BigInteger& rem) const {
  rem = BigInteger();
  if (b.sign_ == 0) return BigInteger();
  MutableBigInt a(mag_.data(), mag_.size()), d(b.mag_.data(), b.mag_.size()), q, r;
  if (a.Divide(d, q, r) != 0) return BigInteger();
  rem = BigInteger(r, sign_);
  return BigInteger(q, sign_ * b.sign_);
}

BigInteger BigInteger::Divide(const BigInteger& b) const {
  BigInteger rem;
  return DivideAndRemainder(b, rem);
}

BigInteger BigInteger::Remainder(const BigInteger& b) const {
  BigInteger rem;
  DivideAndRemainder(b, rem);
  return rem;
}

uint32_t BigInteger::DivideByWord(uint32_t d, BigInteger& quotient) const {
  if (d == 0) {  // outside the contract: answer zero rather than trap
    quotient = BigInteger();
    return 0;
  }
  MutableBigInt a(mag_.data(), mag_.size()), q;
  uint64_t r = a.DivideOneWord(d, q);
  quotient = BigInteger(q, sign_);
  return uint32_t(r);
}

int BigInteger::Mod(const BigInteger& m, BigInteger& result) const {
  result = BigInteger();
  if (m.sign_ <= 0) return kModulusNotPositive;
  BigInteger r = Remainder(m);
  result = r.sign_ < 0 ? r.Add(m) : r;
  return kStatusOk;
}

int BigInteger::ModInverse(const BigInteger& m, BigInteger& result) const {
  result = BigInteger();
  if (m.sign_ != 1) return kModulusNotPositive;
  if (m.IsOneValue()) return kStatusOk;
  BigInteger reduced(*this);
  if (sign_ < 0 || limb::CompareTrimmed(mag_.data(), mag_.size(), m.mag_.data(), m.mag_.size()) >= 0) {
    int rc = Mod(m, reduced);
    if (rc != 0) return rc;
  }
  if (reduced.IsOneValue()) {
    result = ONE;
    return kStatusOk;
  }
  if (reduced.sign_ == 0) return kNotInvertible;
  MutableBigInt a(reduced.mag_.data(), reduced.mag_.size()), p(m.mag_.data(), m.mag_.size()), inv;
  int rc = a.MutableModInverse(p, inv);
  if (rc != 0) return rc;
  result = BigInteger(inv, 1);
  return kStatusOk;
}

std::vector<Limb> BigInteger::OddModPow(const BigInteger& x, const BigInteger& e, const BigInteger& m,
                                        bool publicExponent, size_t boundLimbs) {
  const size_t k = m.mag_.size();
  Montgomery ctx;
  MontgomeryInit(ctx, m.mag_.data(), k);
  std::vector<Limb> b(k, 0), r(k);
  // A non-negative base is reduced without a division (RSA's CRT halves
  // reduce a full-size input by a secret prime).
  if (x.sign_ >= 0) {
    MontgomeryReduceWide(ctx, b.data(), x.mag_.data(), x.mag_.size());
  } else {
    BigInteger reduced;
    if (x.Mod(m, reduced) != 0) return std::vector<Limb>(k, 0);
    std::copy(reduced.mag_.begin(), reduced.mag_.end(), b.begin());
  }
  if (publicExponent) {
    MontgomeryPowPublic(ctx, r.data(), b.data(), e.mag_.data(), e.mag_.size());
  } else {
    // The ladder walks the exponent at a fixed width: the caller's bound or
    // that of m, or the exponent's own limb count when it is longer.
    std::vector<Limb> fixed(std::max(boundLimbs != 0 ? boundLimbs : k, e.mag_.size()), 0);
    std::copy(e.mag_.begin(), e.mag_.end(), fixed.begin());
    MontgomeryPowSecret(ctx, r.data(), b.data(), fixed.data(), fixed.size());
    SecureWipe(fixed.data(), fixed.size() * sizeof(Limb));
  }
  return r;
}

namespace {

// r = a * b mod 2^p on kp = ceil(p / 64) limbs.
void MulPow2(Limb* r, const Limb* a, const Limb* b, size_t kp, int p, Limb* wide) {
  limb::Mul(wide, a, kp, b, kp);
  for (size_t i = 0; i < kp; ++i) r[i] = wide[i];
  if (p % 64 != 0) r[kp - 1] &= (Limb(1) << (p % 64)) - 1;
}

}  // namespace

std::vector<Limb> BigInteger::ModPow2(const BigInteger& base, const BigInteger& e, int p, size_t width) {
  // Square and always multiply, keeping the product by mask: every bit of
  // the exponent's fixed width costs the same.
  const size_t kp = (size_t(p) + 63) / 64;
  std::vector<Limb> b(kp, 0), acc(kp, 0), t(kp), wide(2 * kp), exp(width, 0);
  for (size_t i = 0; i < kp && i < base.mag_.size(); ++i) b[i] = base.mag_[i];
  if (p % 64 != 0) b[kp - 1] &= (Limb(1) << (p % 64)) - 1;
  std::copy(e.mag_.begin(), e.mag_.end(), exp.begin());
  acc[0] = 1;
  for (size_t i = 64 * width; i-- > 0;) {
    MulPow2(acc.data(), acc.data(), acc.data(), kp, p, wide.data());
    MulPow2(t.data(), acc.data(), b.data(), kp, p, wide.data());
    const Limb take = ct::MaskFromBit(Limb((exp[i / 64] >> (i % 64)) & 1));
    for (size_t j = 0; j < kp; ++j) acc[j] = ct::Select(take, t[j], acc[j]);
  }
  if (p % 64 != 0) acc[kp - 1] &= (Limb(1) << (p % 64)) - 1;
  SecureWipe(exp.data(), exp.size() * sizeof(Limb));
  SecureWipe(t.data(), t.size() * sizeof(Limb));
  SecureWipe(wide.data(), wide.size() * sizeof(Limb));
  return acc;
}

int BigInteger::ModPow(const BigInteger& exponent, const BigInteger& m, BigInteger& result) const {
  return ModPowWith(exponent, m, result, false);
}

int BigInteger::ModPowPublic(const BigInteger& exponent, const BigInteger& m, BigInteger& result) const {
  return ModPowWith(exponent, m, result, true);
}

int BigInteger::ModPowBounded(const BigInteger& exponent, int exponentBits, const BigInteger& m,
                              BigInteger& result) const {
  const size_t limbs = exponentBits > 0 ? (size_t(exponentBits) + 63) / 64 : 0;
  return ModPowWith(exponent, m, result, false, limbs);
}

int BigInteger::ModPowWith(const BigInteger& exponent, const BigInteger& m, BigInteger& result,
                           bool publicExponent, size_t boundLimbs) const {
  if (m.sign_ <= 0) return kModulusNotPositive;
  const bool mIsOne = m.IsOneValue();
  if (exponent.sign_ == 0 || IsOneValue()) {
    result = mIsOne ? BigInteger() : ONE;
    return kStatusOk;
  }
  if (sign_ == 0 && exponent.sign_ > 0) {
    result = BigInteger();
    return kStatusOk;
  }
  std::vector<Limb> limbs;
  TORNELL_TRY(ModPowLimbs(exponent.Abs(), m, limbs, publicExponent, boundLimbs));
  const BigInteger r = FromLimbs(std::move(limbs), 1);
  if (exponent.sign_ < 0) {
    BigInteger inv;
    const int rc = r.ModInverse(m, inv);
    result = inv;
    return rc;
  }
  result = r;
  return kStatusOk;
}

int BigInteger::ModPowLimbs(const BigInteger& e, const BigInteger& m, std::vector<Limb>& out,
                            bool publicExponent, size_t boundLimbs) const {
  if (m.sign_ <= 0) return kModulusNotPositive;
  if (m.IsOneValue()) {
    out.assign(1, 0);
    return kStatusOk;
  }
  if (m.TestBit(0)) {
    // The Montgomery set-up reduces a non-negative base itself.
    BigInteger base(*this);
    if (sign_ < 0) TORNELL_TRY(Mod(m, base));
    out = OddModPow(base, e, m, publicExponent, boundLimbs);
    return kStatusOk;
  }
  BigInteger base(*this);
  if (sign_ < 0 || CompareTo(m) >= 0) TORNELL_TRY(Mod(m, base));
  // m = m1 2^p with m1 odd: the two powers are joined as
  // a1 + m1 ((a2 - a1) m1^-1 mod 2^p), which is below m without a
  // division; only the public m1 is inverted.
  const int p = m.LowestSetBit();
  const BigInteger m1 = m.ShiftRight(p), m2 = ONE.ShiftLeft(p);
  BigInteger base2(*this);
  if (sign_ < 0 || CompareTo(m1) >= 0) TORNELL_TRY(Mod(m1, base2));
  const size_t k1 = m1.mag_.size(), kp = (size_t(p) + 63) / 64;
  const size_t width = std::max(e.mag_.size(), std::max(k1, kp));
  std::vector<Limb> a1 = m1.IsOneValue() ? std::vector<Limb>(k1, 0) : OddModPow(base2, e, m1, publicExponent);
  std::vector<Limb> a2 = ModPow2(base, e, p, width);
  BigInteger y;
  TORNELL_TRY(m1.ModInverse(m2, y));
  std::vector<Limb> yl(kp, 0), d(kp, 0), a1p(kp, 0), t(kp), wide(2 * kp);
  std::copy(y.mag_.begin(), y.mag_.end(), yl.begin());
  for (size_t i = 0; i < kp && i < k1; ++i) a1p[i] = a1[i];
  limb::SubN(d.data(), a2.data(), a1p.data(), kp);  // mod 2^(64 kp), masked next
  MulPow2(t.data(), d.data(), yl.data(), kp, p, wide.data());
  out.assign(k1 + kp + 1, 0);
  limb::Mul(out.data(), m1.mag_.data(), k1, t.data(), kp);
  Limb carry = limb::AddN(out.data(), out.data(), a1.data(), k1);
  for (size_t i = k1; i < out.size(); ++i) {  // every limb, so no early stop
    const DLimb s = DLimb(out[i]) + carry;
    out[i] = limb::Lo(s);
    carry = limb::Hi(s);
  }
  for (std::vector<Limb>* v : {&a1, &a2, &d, &a1p, &t, &wide}) SecureWipe(v->data(), v->size() * sizeof(Limb));
  return kStatusOk;
}

int BigInteger::ModPowBinary(const BigInteger& e, const BigInteger& m, BigInteger& result) const {
  result = ONE;
  if (m.sign_ <= 0) return kModulusNotPositive;
  BigInteger b(*this), x = e.Abs();
  while (x.sign_ > 0) {
    int rc = 0;
    if (x.TestBit(0)) rc = result.Multiply(b).Mod(m, result);
    if (rc != 0) return rc;
    x = x.ShiftRight(1);
    if (x.sign_ > 0) rc = b.Square().Mod(m, b);
    if (rc != 0) return rc;
  }
  return kStatusOk;
}

int BigInteger::Pow(int e, BigInteger& result) const {
  result = BigInteger();
  if (e < 0) return kNegativeExponent;
  if (sign_ == 0) {
    result = e == 0 ? ONE : BigInteger();
    return kStatusOk;
  }
  BigInteger acc = ONE, b = Abs();
  for (int x = e; x > 0; x >>= 1) {
    if (x & 1) acc = acc.Multiply(b);
    if (x > 1) b = b.Square();
  }
  result = (sign_ < 0 && (e & 1)) ? acc.Negate() : acc;
  return kStatusOk;
}

int BigInteger::BitLength() const {
  if (bitLength_ >= 0) return bitLength_;
  int n = 0;
  if (!mag_.empty()) {
    n = int(mag_.size() - 1) * 64 + limb::BitLen(mag_.back());
    if (sign_ < 0 && LowestSetBit() == n - 1) --n;  // -2^k needs one bit less
  }
  bitLength_ = n;
  return n;
}

int BigInteger::LowestSetBit() const {
  if (lowestSetBit_ != -2) return lowestSetBit_;
  int r = -1;
  for (size_t i = 0; i < mag_.size(); ++i) {
    if (mag_[i] != 0) {
      r = int(i) * 64 + __builtin_ctzll(mag_[i]);
      break;
    }
  }
  lowestSetBit_ = r;
  return r;
}

namespace {

// Limb i of the infinite two's complement form of a sign and magnitude.
Limb TwosLimb(int sign, const std::vector<Limb>& mag, int lowestSetBit, size_t i) {
  Limb m = i < mag.size() ? mag[i] : 0;
  if (sign >= 0) return m;
  size_t low = size_t(lowestSetBit) / 64;
  if (i < low) return 0;
  if (i == low) return Limb(0) - m;
  return ~m;
}

}  // namespace

uint32_t BigInteger::GetInt(int n) const {
  if (n < 0) return 0;
  Limb l = TwosLimb(sign_, mag_, LowestSetBit(), size_t(n) / 2);
  return uint32_t(l >> (32 * (n % 2)));
}

bool BigInteger::TestBit(int n) const {
  if (n < 0) return false;
  return ((TwosLimb(sign_, mag_, LowestSetBit(), size_t(n) / 64) >> (n % 64)) & 1) != 0;
}

int64_t BigInteger::LongValue() const { return int64_t(TwosLimb(sign_, mag_, LowestSetBit(), 0)); }

BigInteger BigInteger::ShiftLeft(int n) const {
  if (sign_ == 0 || n == 0) return *this;
  if (n < 0) return n == INT_MIN ? (sign_ < 0 ? BigInteger(int64_t(-1)) : BigInteger()) : ShiftRight(-n);
  size_t limbs = size_t(n) / 64;
  std::vector<Limb> v(limbs + mag_.size() + 1, 0);
  std::copy(mag_.begin(), mag_.end(), v.begin() + std::ptrdiff_t(limbs));
  v.back() = limb::ShiftLeftBits(v.data() + limbs, mag_.size(), n % 64);
  return FromLimbs(std::move(v), sign_);
}

BigInteger BigInteger::ShiftRight(int n) const {
  if (sign_ == 0 || n == 0) return *this;
  if (n < 0) return n == INT_MIN ? BigInteger() : ShiftLeft(-n);
  size_t limbs = size_t(n) / 64;
  if (limbs >= mag_.size()) return sign_ < 0 ? BigInteger(int64_t(-1)) : BigInteger();
  std::vector<Limb> v(mag_.begin() + std::ptrdiff_t(limbs), mag_.end());
  Limb out = limb::ShiftRightBits(v.data(), v.size(), n % 64);
  if (sign_ < 0) {
    // Flooring: a negative value that lost any 1 bit moves one further down.
    bool lost = out != 0;
    for (size_t i = 0; i < limbs && !lost; ++i) lost = mag_[i] != 0;
    if (lost) {
      v.push_back(0);
      limb::AddWord(v.data(), v.size(), 1);
    }
  }
  return FromLimbs(std::move(v), sign_);
}

void BigInteger::ToBytes(uint8_t* buf, int len) const {
  if (buf == nullptr) return;
  if (sign_ >= 0) {
    // The magnitude as it stands, zeros above it: no scan for the lowest
    // set bit, which only the negative form needs.
    for (int i = 0; i < len; ++i) {
      const size_t li = size_t(i) / 8;
      buf[len - 1 - i] = uint8_t((li < mag_.size() ? mag_[li] : 0) >> (8 * (i % 8)));
    }
    return;
  }
  const int low = LowestSetBit();
  for (int i = 0; i < len; ++i) {
    Limb l = TwosLimb(sign_, mag_, low, size_t(i) / 8);
    buf[len - 1 - i] = uint8_t(l >> (8 * (i % 8)));
  }
}

int BigInteger::ToByteString(ByteString& out) const {
  const int n = BitLength() / 8 + 1;
  int rc = out.SetLength(n);
  if (rc != 0) return rc;
  ToBytes(reinterpret_cast<uint8_t*>(out.Data()), n);
  return kStatusOk;
}

std::string BigInteger::ToText(int radix) const {
  if (sign_ == 0) return "0";
  if (radix < 2 || radix > 32) radix = 10;
  std::string s;
  if (radix == 16) {
    static const char kHex[] = "0123456789abcdef";
    int nibbles = (int(mag_.size() - 1) * 64 + limb::BitLen(mag_.back()) + 3) / 4;
    if (sign_ < 0) s.push_back('-');
    for (int i = nibbles - 1; i >= 0; --i) s.push_back(kHex[(mag_[size_t(i) / 16] >> (4 * (i % 16))) & 15]);
    return s;
  }
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";
  const int per = kDigitsPerLong[radix];
  const uint64_t divisor = PowWord(uint64_t(radix), per);
  std::vector<uint64_t> groups;
  MutableBigInt q(mag_.data(), mag_.size()), next;
  while (!q.IsZero()) {
    groups.push_back(q.DivideOneWord(divisor, next));
    q = next;
  }
  if (sign_ < 0) s.push_back('-');
  for (size_t g = groups.size(); g-- > 0;) {
    char buf[64];
    int n = 0;
    for (uint64_t v = groups[g]; v != 0; v /= uint64_t(radix)) buf[n++] = kDigits[v % uint64_t(radix)];
    if (g + 1 != groups.size())
      for (int pad = n; pad < per; ++pad) s.push_back('0');
    while (n > 0) s.push_back(buf[--n]);
  }
  return s;
}

int BigInteger::ToText(ByteString& out, int radix) const {
  std::string s = ToText(radix);
  return out.Set(s.data(), int(s.size()));
}

}  // namespace tornell
