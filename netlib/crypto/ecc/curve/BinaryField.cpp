#include "crypto/ecc/curve/BinaryField.h"

#include <immintrin.h>

#include <cstring>

#include "core/cpu/CpuFeatures.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

namespace {

// t[0 .. 2k) = a * b without reduction, by the carry-less multiply instruction
// on 64-bit halves; its timing does not depend on the operands.
__attribute__((target("pclmul,sse2"))) void MulCarryless(const uint32_t* a, const uint32_t* b, int k, uint32_t* t) {
  const int n = (k + 1) / 2;
  uint64_t x[kFieldWords / 2 + 1];
  uint64_t y[kFieldWords / 2 + 1];
  uint64_t r[kFieldWords + 2];
  for (int i = 0; i < n; ++i) {
    const uint64_t high = 2 * i + 1 < k ? 1 : 0;
    x[i] = a[2 * i] | ((static_cast<uint64_t>(a[2 * i + 1]) & (0 - high)) << 32);
    y[i] = b[2 * i] | ((static_cast<uint64_t>(b[2 * i + 1]) & (0 - high)) << 32);
  }
  std::memset(r, 0, sizeof(uint64_t) * 2 * n);
  for (int i = 0; i < n; ++i) {
    const __m128i xi = _mm_cvtsi64_si128(static_cast<long long>(x[i]));
    for (int j = 0; j < n; ++j) {
      const __m128i p = _mm_clmulepi64_si128(xi, _mm_cvtsi64_si128(static_cast<long long>(y[j])), 0x00);
      r[i + j] ^= static_cast<uint64_t>(_mm_cvtsi128_si64(p));
      r[i + j + 1] ^= static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(p, p)));
    }
  }
  for (int w = 0; w < 2 * k; ++w) t[w] = static_cast<uint32_t>(r[w / 2] >> (32 * (w & 1)));
}

// Bits of a 16-bit value moved to the even positions of 32 bits.
inline uint32_t Spread16(uint32_t x) {
  x &= 0xFFFFu;
  x = (x | (x << 8)) & 0x00FF00FFu;
  x = (x | (x << 4)) & 0x0F0F0F0Fu;
  x = (x | (x << 2)) & 0x33333333u;
  x = (x | (x << 1)) & 0x55555555u;
  return x;
}

}  // namespace

int BinaryField::Init(const EcBigInt& poly) {
  EcBigInt g;
  EcBigInt::Copy(g, poly);
  EcBigInt::Normalize(g);
  const int bits = EcBigInt::BitLength(g);
  if (bits < 2) return kEcZeroModulus;
  m = bits - 1;
  k = m / 32 + 1;
  if (k > kFieldWords / 2 || g.wordCount > k) return kEcOverflow;
  std::memset(f.w, 0, sizeof f.w);
  std::memcpy(f.w, g.words, sizeof(uint32_t) * g.wordCount);
  termCount = 0;
  for (int e = 0; e < m; ++e) {
    if (((f.w[e >> 5] >> (e & 31)) & 1u) == 0) continue;
    if (termCount == 8 || e >= m - 31) {
      termCount = 0;  // folds would land on the word being cleared: reduce bit by bit
      break;
    }
    terms[termCount++] = e;
  }
  return 0;
}

void BinaryField::Load(const EcBigInt& v, FieldElem& out) const {
  uint32_t wide[2 * kFieldWords + 2];
  int n = v.wordCount < 0 ? 0 : (v.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords : v.wordCount);
  while (n > 0 && v.words[n - 1] == 0) --n;
  if (n > 2 * k) {
    // too wide for the folding buffer: reduce the high part first, bit by bit
    EcBigInt r;
    EcBigInt::Copy(r, v);
    for (int bit = EcBigInt::BitLength(r) - 1; bit >= 2 * k * 32; --bit) {
      if (EcBigInt::TestBit(r, bit) == 0) continue;
      const int shift = bit - m;
      for (int e = 0; e <= m; ++e) {
        if (((f.w[e >> 5] >> (e & 31)) & 1u) != 0) r.words[(e + shift) >> 5] ^= 1u << ((e + shift) & 31);
      }
    }
    std::memcpy(wide, r.words, sizeof(uint32_t) * 2 * k);
    n = 2 * k;
  } else {
    std::memcpy(wide, v.words, sizeof(uint32_t) * n);
  }
  Reduce(wide, n, out);
}

void BinaryField::Store(const FieldElem& v, EcBigInt& out) const {
  const int old = out.wordCount < k ? k : (out.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords : out.wordCount);
  std::memcpy(out.words, v.w, sizeof(uint32_t) * k);
  std::memset(out.words + k, 0, sizeof(uint32_t) * (old - k));
  out.wordCount = k;
  out.sign = 1;
}

void BinaryField::Reduce(uint32_t* c, int n, FieldElem& out) const {
  for (int i = n; i < 2 * k; ++i) c[i] = 0;
  const int r = m & 31;
  if (termCount > 0) {
    for (int i = 2 * k - 1; i >= k; --i) {
      const uint32_t w = c[i];
      c[i] = 0;
      for (int t = 0; t < termCount; ++t) {
        const int pos = 32 * i - m + terms[t];
        const int s = pos & 31;
        c[pos >> 5] ^= w << s;
        if (s != 0) c[(pos >> 5) + 1] ^= w >> (32 - s);
      }
    }
    const uint32_t w = c[k - 1] >> r;
    c[k - 1] &= (1u << r) - 1u;
    for (int t = 0; t < termCount; ++t) {
      const int pos = terms[t];
      const int s = pos & 31;
      c[pos >> 5] ^= w << s;
      if (s != 0) c[(pos >> 5) + 1] ^= w >> (32 - s);
    }
  } else {
    for (int bit = 64 * k - 1; bit >= m; --bit) {
      if (((c[bit >> 5] >> (bit & 31)) & 1u) == 0) continue;
      const int shift = bit - m;
      for (int e = 0; e <= m; ++e) {
        if (((f.w[e >> 5] >> (e & 31)) & 1u) != 0) c[(e + shift) >> 5] ^= 1u << ((e + shift) & 31);
      }
    }
  }
  std::memcpy(out.w, c, sizeof(uint32_t) * k);
}

void BinaryField::Mul(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  uint32_t t[2 * kFieldWords + 2];
  if (cpu::Has(cpu::path::kCarrylessMultiply)) {
    MulCarryless(a.w, b.w, k, t);
    Reduce(t, 2 * k, out);
    return;
  }
  // Comb over the bits of b with masks, so the work does not follow the operands.
  uint32_t s[kFieldWords + 1];
  std::memset(t, 0, sizeof(uint32_t) * (2 * k + 1));
  std::memcpy(s, a.w, sizeof(uint32_t) * k);
  s[k] = 0;
  for (int j = 0; j < 32; ++j) {
    for (int i = 0; i < k; ++i) {
      const uint32_t mask = 0u - ((b.w[i] >> j) & 1u);
      for (int w = 0; w <= k; ++w) t[i + w] ^= s[w] & mask;
    }
    for (int w = k; w > 0; --w) s[w] = (s[w] << 1) | (s[w - 1] >> 31);
    s[0] <<= 1;
  }
  Reduce(t, 2 * k, out);
}

void BinaryField::Sqr(const FieldElem& a, FieldElem& out) const {
  uint32_t t[2 * kFieldWords + 2];
  for (int i = 0; i < k; ++i) {
    t[2 * i] = Spread16(a.w[i]);
    t[2 * i + 1] = Spread16(a.w[i] >> 16);
  }
  Reduce(t, 2 * k, out);
}

void BinaryField::Add(const FieldElem& a, const FieldElem& b, FieldElem& out) const {
  for (int i = 0; i < k; ++i) out.w[i] = a.w[i] ^ b.w[i];
}

void BinaryField::Invert(const FieldElem& a, FieldElem& out) const {
  // Itoh-Tsujii: beta_j = a^(2^j - 1), built along the bits of m - 1; then squared.
  const int n = m - 1;
  int top = 31 - __builtin_clz(static_cast<uint32_t>(n));
  FieldElem beta = a;
  int j = 1;
  for (int bit = top - 1; bit >= 0; --bit) {
    FieldElem t = beta;
    for (int s = 0; s < j; ++s) Sqr(t, t);
    Mul(t, beta, beta);
    j *= 2;
    if (((n >> bit) & 1) != 0) {
      Sqr(beta, beta);
      Mul(beta, a, beta);
      j += 1;
    }
  }
  Sqr(beta, out);
}

void BinaryField::Divide(const FieldElem& num, const FieldElem& den, FieldElem& out) const {
  FieldElem u = den;
  FieldElem v = f;
  FieldElem g1 = num;
  FieldElem g2;
  SetWord(g2, 0);
  auto isOne = [this](const FieldElem& x) {
    if (x.w[0] != 1) return false;
    for (int i = 1; i < k; ++i) {
      if (x.w[i] != 0) return false;
    }
    return true;
  };
  auto divX = [this](FieldElem& x) {
    const uint32_t mask = 0u - (x.w[0] & 1u);
    for (int i = 0; i < k; ++i) {
      const uint32_t cur = x.w[i] ^ (f.w[i] & mask);
      const uint32_t next = i + 1 < k ? x.w[i + 1] ^ (f.w[i + 1] & mask) : 0u;
      x.w[i] = (cur >> 1) | (next << 31);
    }
  };
  while (!isOne(u) && !isOne(v)) {
    if (IsZero(u) || IsZero(v)) break;  // no inverse: f is reducible and shares a factor with den
    while ((u.w[0] & 1u) == 0) {
      divX(u);
      divX(g1);
    }
    while ((v.w[0] & 1u) == 0) {
      divX(v);
      divX(g2);
    }
    if (ecwords::Compare(u.w, v.w, k) > 0) {
      Add(u, v, u);
      Add(g1, g2, g1);
    } else {
      Add(v, u, v);
      Add(g2, g1, g2);
    }
  }
  out = isOne(u) ? g1 : g2;
}

void BinaryField::HalfTrace(const FieldElem& c, FieldElem& out) const {
  FieldElem r = c;
  for (int i = 0; i < (m - 1) / 2; ++i) {
    Sqr(r, r);
    Sqr(r, r);
    Add(r, c, r);
  }
  out = r;
}

int BinaryField::SolveQuadratic(const FieldElem& c, FieldElem& z) const {
  FieldElem t;
  if ((m & 1) != 0) {
    HalfTrace(c, z);
    Sqr(z, t);
    Add(t, z, t);
    return Equal(t, c) ? 1 : 0;
  }
  RandomSource source;
  for (int attempt = 0; attempt < 200; ++attempt) {
    uint32_t raw[2 * kFieldWords + 2];
    source.Fill(reinterpret_cast<uint8_t*>(raw), 0, 4 * k);
    FieldElem tau, w;
    Reduce(raw, k, tau);
    SetWord(z, 0);
    w = c;
    for (int i = 1; i <= m - 1; ++i) {
      FieldElem w2;
      Sqr(w, w2);
      Sqr(z, z);
      Mul(w2, tau, t);
      Add(z, t, z);
      Add(w2, c, w);
    }
    if (!IsZero(w)) return 0;
    Sqr(z, t);
    Add(t, z, t);
    if (!IsZero(t)) return 1;
  }
  return 0;
}

}  // namespace tornell
