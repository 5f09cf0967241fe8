#include "crypto/ecc/engine/EccEngineScalar.h"

#include <cstring>

#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

namespace {

using u128 = unsigned __int128;

// out = a - b over `limbs` limbs; the borrow out.
uint64_t SubLimbs(const uint64_t* a, const uint64_t* b, uint64_t* out, int limbs) {
  uint64_t borrow = 0;
  for (int i = 0; i < limbs; ++i) {
    const u128 d = static_cast<u128>(a[i]) - b[i] - borrow;
    out[i] = static_cast<uint64_t>(d);
    borrow = static_cast<uint64_t>(d >> 64) & 1;
  }
  return borrow;
}

void SelectLimbs(uint64_t* out, const uint64_t* a, const uint64_t* b, uint64_t maskB, int limbs) {
  for (int i = 0; i < limbs; ++i) out[i] = (a[i] & ~maskB) | (b[i] & maskB);
}

}  // namespace

bool EccFitBytes(const unsigned char* v, int length, int width, unsigned char* out) {
  // Every byte is read whatever it holds: private keys come through here, and
  // a loop that stopped at the first non-zero byte would time their top bits.
  unsigned char excess = 0;
  for (int i = 0; i < length - width; ++i) excess |= v[i];
  for (int i = 0; i < width; ++i) {
    const int from = length - 1 - i;
    out[width - 1 - i] = from >= 0 ? v[from] : 0;
  }
  return ct::ValueBarrier(excess) == 0;
}

bool EccScalarField::Init(const unsigned char* order, int length) {
  while (length > 0 && order[0] == 0) {
    ++order;
    --length;
  }
  if (length == 0 || length > kMaxLimbs * 8 || (order[length - 1] & 1) == 0) return false;
  bytes = length;
  limbs = (length + 7) / 8;
  std::memset(n, 0, sizeof n);
  for (int i = 0; i < length; ++i) {
    const int pos = length - 1 - i;
    n[i / 8] |= static_cast<uint64_t>(order[pos]) << (8 * (i % 8));
  }
  bits = 64 * (limbs - 1) + (64 - __builtin_clzll(n[limbs - 1]));
  // -n^-1 mod 2^64 by Newton iteration (n odd).
  uint64_t inv = 1;
  for (int i = 0; i < 6; ++i) inv *= 2 - n[0] * inv;
  n0inv = 0 - inv;
  // R mod n, then R^2 mod n by doubling: n is public, plain loops are fine.
  Limbs t{};
  t[0] = 1;
  for (int i = 0; i < 2 * 64 * limbs; ++i) {
    if (i == 64 * limbs) std::memcpy(one, t, sizeof one);
    uint64_t carry = 0;
    for (int j = 0; j < limbs; ++j) {
      const uint64_t next = t[j] >> 63;
      t[j] = (t[j] << 1) | carry;
      carry = next;
    }
    Limbs u;
    const uint64_t borrow = SubLimbs(t, n, u, limbs);
    if (carry != 0 || borrow == 0) std::memcpy(t, u, sizeof(uint64_t) * limbs);
  }
  std::memcpy(r2, t, sizeof r2);
  return true;
}

bool EccScalarField::Load(const unsigned char* in, int length, Limbs out) const {
  // Fixed width: the byte positions, not the bytes, decide the work.
  const int room = limbs * 8;
  unsigned char excess = 0;
  std::memset(out, 0, sizeof(Limbs));
  for (int i = 0; i < length; ++i) {
    const unsigned char byte = in[length - 1 - i];
    if (i < room) {
      out[i / 8] |= static_cast<uint64_t>(byte) << (8 * (i % 8));
    } else {
      excess |= byte;
    }
  }
  return ct::ValueBarrier(excess) == 0;
}

void EccScalarField::Store(const Limbs a, unsigned char* out, int width) const {
  for (int i = 0; i < width; ++i) {
    const int limb = i / 8;
    out[width - 1 - i] = limb < limbs ? static_cast<unsigned char>(a[limb] >> (8 * (i % 8))) : 0;
  }
}

void EccScalarField::MontMul(const Limbs a, const Limbs b, Limbs out) const {
  uint64_t t[kMaxLimbs + 2] = {};
  for (int i = 0; i < limbs; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < limbs; ++j) {
      const u128 v = static_cast<u128>(a[j]) * b[i] + t[j] + carry;
      t[j] = static_cast<uint64_t>(v);
      carry = static_cast<uint64_t>(v >> 64);
    }
    u128 top = static_cast<u128>(t[limbs]) + carry;
    t[limbs] = static_cast<uint64_t>(top);
    t[limbs + 1] = static_cast<uint64_t>(top >> 64);
    const uint64_t m = t[0] * n0inv;
    u128 v = static_cast<u128>(m) * n[0] + t[0];
    carry = static_cast<uint64_t>(v >> 64);
    for (int j = 1; j < limbs; ++j) {
      v = static_cast<u128>(m) * n[j] + t[j] + carry;
      t[j - 1] = static_cast<uint64_t>(v);
      carry = static_cast<uint64_t>(v >> 64);
    }
    top = static_cast<u128>(t[limbs]) + carry;
    t[limbs - 1] = static_cast<uint64_t>(top);
    t[limbs] = t[limbs + 1] + static_cast<uint64_t>(top >> 64);
  }
  // t < 2n: subtract n once, keep t when that borrows past the top limb.
  Limbs u;
  const uint64_t borrow = SubLimbs(t, n, u, limbs);
  const uint64_t keepT = 0 - (borrow & ~t[limbs] & 1);
  SelectLimbs(out, u, t, keepT, limbs);
}

void EccScalarField::FromMont(const Limbs a, Limbs out) const {
  Limbs unit{};
  unit[0] = 1;
  MontMul(a, unit, out);
}

void EccScalarField::Add(const Limbs a, const Limbs b, Limbs out) const {
  Limbs sum, u;
  uint64_t carry = 0;
  for (int i = 0; i < limbs; ++i) {
    const u128 v = static_cast<u128>(a[i]) + b[i] + carry;
    sum[i] = static_cast<uint64_t>(v);
    carry = static_cast<uint64_t>(v >> 64);
  }
  const uint64_t borrow = SubLimbs(sum, n, u, limbs);
  const uint64_t keepSum = 0 - (borrow & ~carry & 1);
  SelectLimbs(out, u, sum, keepSum, limbs);
}

void EccScalarField::Invert(const Limbs a, Limbs out) const {
  Limbs e;
  Limbs two{};
  two[0] = 2;
  SubLimbs(n, two, e, limbs);
  Limbs acc;
  std::memcpy(acc, one, sizeof acc);
  // The exponent n - 2 is public: the square-and-multiply pattern reveals
  // nothing about a.
  for (int bit = bits - 1; bit >= 0; --bit) {
    MontMul(acc, acc, acc);
    if ((e[bit / 64] >> (bit % 64)) & 1) MontMul(acc, a, acc);
  }
  std::memcpy(out, acc, sizeof(Limbs));
}

void EccScalarField::Reduce(const Limbs a, Limbs out) const {
  Limbs m;
  ToMont(a, m);
  FromMont(m, out);
}

void EccScalarField::ReduceWide(const Limbs hi, const Limbs lo, Limbs out) const {
  Limbs h, l;
  ToMont(hi, h);  // hi·R mod n
  Reduce(lo, l);
  Add(h, l, out);
}

void EccScalarField::Random(RandomSource& source, Limbs out) const {
  unsigned char buffer[2 * kMaxLimbs * 8];
  source.Fill(buffer, 0, 16 * limbs);
  Limbs hi{}, lo{};
  Load(buffer, 8 * limbs, hi);
  Load(buffer + 8 * limbs, 8 * limbs, lo);
  ReduceWide(hi, lo, out);
  // A zero (probability about 2^-bits) becomes 1, without a branch.
  out[0] |= ZeroMask(out) & 1;
  SecureWipe(buffer, sizeof buffer);
  SecureWipe(hi, sizeof hi);
  SecureWipe(lo, sizeof lo);
}

uint64_t EccScalarField::ZeroMask(const Limbs a) const {
  uint64_t any = 0;
  for (int i = 0; i < limbs; ++i) any |= a[i];
  return ((any | (0 - any)) >> 63) - 1;
}

int EccScalarField::Compare(const Limbs a, const Limbs b) const {
  for (int i = limbs - 1; i >= 0; --i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

}  // namespace tornell
