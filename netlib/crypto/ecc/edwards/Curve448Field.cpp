// GF(2^448 - 2^224 - 1) with eight 56-bit limbs; 2^448 = 2^224 + 1 folds
// the high half of a product back onto limbs 0 and 4.
#include <cstring>

#include "core/secure/ConstantTime.h"
#include "crypto/ecc/edwards/Curve448FieldOps.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

namespace {

using namespace fe448;

void SquareTimes(Fe448& out, const Fe448& in, int n) {
  EdwardsMath::Fe448Square(out, in);
  for (int i = 1; i < n; ++i) EdwardsMath::Fe448Square(out, out);
}

// out = a^(2^n - 1) from x = a^(2^m - 1) and y = a^(2^(n - m) - 1).
void ChainStep(Fe448& out, const Fe448& x, int shift, const Fe448& y) {
  Fe448 t;
  SquareTimes(t, x, shift);
  EdwardsMath::Fe448Mul(out, t, y);
}

}  // namespace

void EdwardsMath::Fe448Zero(Fe448& out) { std::memset(out.v, 0, sizeof(out.v)); }

void EdwardsMath::Fe448One(Fe448& out) {
  Fe448Zero(out);
  out.v[0] = 1;
}

void EdwardsMath::Fe448SetWord(Fe448& out, uint32_t w) {
  Fe448Zero(out);
  out.v[0] = w;
}

void EdwardsMath::Fe448Copy(Fe448& out, const Fe448& a) { out = a; }

void EdwardsMath::Fe448WeakReduce(Fe448& a) {
  fe448::WeakReduce(a);
}

int EdwardsMath::Fe448StrongReduce(Fe448& a) {
  Fe448WeakReduce(a);
  const uint64_t c = a.v[7] >> 56;
  a.v[7] &= kMask56;
  a.v[0] += c;
  a.v[4] += c;
  int64_t borrow = 0;
  for (int i = 0; i < 8; ++i) {
    borrow += static_cast<int64_t>(a.v[i]) - static_cast<int64_t>(kP[i]);
    a.v[i] = static_cast<uint64_t>(borrow) & kMask56;
    borrow >>= 56;
  }
  // The borrow of a - p is 0 or -1 after the weak reduction; p goes back in
  // under a mask, so the encoding of a secret does not branch on its value.
  const uint64_t mask = static_cast<uint64_t>(borrow);
  uint64_t carry = 0;
  for (int i = 0; i < 8; ++i) {
    carry += a.v[i] + (kP[i] & mask);
    a.v[i] = carry & kMask56;
    carry >>= 56;
  }
  // Both checks hold for every reduced input; folded into one mask, not tested one by one.
  const uint64_t badBorrow = ct::IsNonZero(static_cast<uint64_t>(borrow + 1) >> 1);  // borrow not in {0, -1}
  const uint64_t badCarry = ct::IsNonZero(static_cast<uint64_t>(static_cast<int64_t>(carry) + borrow));
  return static_cast<int>(ct::Select<uint64_t>(badBorrow | badCarry, kEdwardsRange, 0));
}

void EdwardsMath::Fe448Add(Fe448& out, const Fe448& a, const Fe448& b) {
  fe448::Add(out, a, b);
}

void EdwardsMath::Fe448Sub(Fe448& out, const Fe448& a, const Fe448& b) {
  fe448::Sub(out, a, b);
}

void EdwardsMath::Fe448Neg(Fe448& out, const Fe448& a) {
  Fe448 zero;
  Fe448Zero(zero);
  Fe448Sub(out, zero, a);
}

void EdwardsMath::Fe448AddWord(Fe448& a, uint32_t w) {
  a.v[0] += w;
  a.v[1] += a.v[0] >> 56;
  a.v[0] &= kMask56;
}

void EdwardsMath::Fe448SubWord(Fe448& a, uint32_t w) {
  for (int i = 0; i < 8; ++i) a.v[i] += kP[i];
  a.v[0] -= w;
  Fe448WeakReduce(a);
}

void EdwardsMath::Fe448Mul(Fe448& out, const Fe448& a, const Fe448& b) {
  fe448::Mul(out, a, b);
}

void EdwardsMath::Fe448Square(Fe448& out, const Fe448& a) {
  fe448::Square(out, a);
}

void EdwardsMath::Fe448MulWord(Fe448& out, const Fe448& a, uint64_t w) {
  fe448::MulWord(out, a, w);
}

void EdwardsMath::Fe448CSwap(Fe448& a, Fe448& b, unsigned flag) {
  const uint64_t mask = 0 - static_cast<uint64_t>(flag & 1);
  for (int i = 0; i < 8; ++i) {
    const uint64_t x = (a.v[i] ^ b.v[i]) & mask;
    a.v[i] ^= x;
    b.v[i] ^= x;
  }
}

void EdwardsMath::Fe448CMov(Fe448& a, const Fe448& b, uint32_t mask) {
  const uint64_t m = static_cast<uint64_t>(0) - (mask & 1);
  for (int i = 0; i < 8; ++i) a.v[i] ^= (a.v[i] ^ b.v[i]) & m;
}

void EdwardsMath::Fe448CNeg(Fe448& a, uint32_t mask) {
  Fe448 neg;
  Fe448Neg(neg, a);
  Fe448CMov(a, neg, mask);
}

uint32_t EdwardsMath::Fe448IsZero(const Fe448& a) {
  Fe448 t = a;
  Fe448StrongReduce(t);
  uint64_t acc = 0;
  for (uint64_t limb : t.v) acc |= limb;
  return static_cast<uint32_t>(0) - static_cast<uint32_t>(((acc | (0 - acc)) >> 63) ^ 1);
}

uint32_t EdwardsMath::Fe448Equal(const Fe448& a, const Fe448& b) {
  Fe448 d;
  Fe448Sub(d, a, b);
  return Fe448IsZero(d);
}

// a^((p - 3) / 4) = a^(2^446 - 2^222 - 1) = (a^(2^223 - 1))^(2^223) * a^(2^222 - 1).
void EdwardsMath::Fe448InverseSqrt(Fe448& out, const Fe448& a) {
  Fe448 x2, x3, x6, x12, x24, x48, x96, x192, x216, x219, x222, x223;
  ChainStep(x2, a, 1, a);
  ChainStep(x3, x2, 1, a);
  ChainStep(x6, x3, 3, x3);
  ChainStep(x12, x6, 6, x6);
  ChainStep(x24, x12, 12, x12);
  ChainStep(x48, x24, 24, x24);
  ChainStep(x96, x48, 48, x48);
  ChainStep(x192, x96, 96, x96);
  ChainStep(x216, x192, 24, x24);
  ChainStep(x219, x216, 3, x3);
  ChainStep(x222, x219, 3, x3);
  ChainStep(x223, x222, 1, a);
  ChainStep(out, x223, 223, x222);
}

void EdwardsMath::Fe448Invert(Fe448& out, const Fe448& a) {
  Fe448 sq, r;
  Fe448Square(sq, a);
  Fe448InverseSqrt(r, sq);
  Fe448Square(r, r);
  Fe448Mul(out, r, a);
}

uint32_t EdwardsMath::Fe448IsSquare(const Fe448& a) {
  Fe448 l, t;
  Fe448InverseSqrt(l, a);
  Fe448Square(t, l);
  Fe448Mul(t, t, a);
  Fe448SubWord(t, 1);
  return Fe448IsZero(t) | Fe448IsZero(a);
}

void EdwardsMath::Fe448BatchInvert(Fe448* out, const Fe448* in, int n) {
  if (n <= 0) return;
  if (n == 1) {
    Fe448Invert(out[0], in[0]);
    return;
  }
  out[1] = in[0];
  for (int i = 1; i < n - 1; ++i) Fe448Mul(out[i + 1], out[i], in[i]);
  Fe448Mul(out[0], out[n - 1], in[n - 1]);
  Fe448Invert(out[0], out[0]);
  for (int i = n - 1; i > 0; --i) {
    Fe448Mul(out[i], out[i], out[0]);
    Fe448Mul(out[0], out[0], in[i]);
  }
}

int EdwardsMath::Fe448Decode(Fe448& out, const unsigned char* bytes, int length) {
  if (bytes == nullptr || length < 56) return 0;
  for (int k = 0; k < 8; ++k) {
    uint64_t v = 0;
    for (int j = 6; j >= 0; --j) v = (v << 8) | bytes[7 * k + j];
    out.v[k] = v;
  }
  Fe448 t = out;
  Fe448StrongReduce(t);
  uint64_t diff = 0;
  for (int i = 0; i < 8; ++i) diff |= t.v[i] ^ out.v[i];
  return diff == 0 ? 1 : 0;
}

int EdwardsMath::Fe448Encode(unsigned char* bytes, int length, const Fe448& a) {
  if (bytes == nullptr || length < 56) return kEdwardsShortBuffer;
  Fe448 t = a;
  const int status = Fe448StrongReduce(t);
  for (int k = 0; k < 8; ++k)
    for (int j = 0; j < 7; ++j) bytes[7 * k + j] = static_cast<unsigned char>(t.v[k] >> (8 * j));
  return status;
}

int EdwardsMath::Fe448LowBit(const Fe448& a) {
  Fe448 t = a;
  Fe448StrongReduce(t);
  return static_cast<int>(t.v[0] & 1);
}

}  // namespace tornell
