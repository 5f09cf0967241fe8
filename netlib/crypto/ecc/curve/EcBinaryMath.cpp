// Binary-field operations of EcPointMath on EcBigInt values, and the
// reduction-polynomial conversions.
#include <cstring>

#include "crypto/ecc/curve/BinaryField.h"
#include "crypto/ecc/curve/EcPointMath.h"

namespace tornell {

namespace {

constexpr uint32_t SpreadByte(uint32_t b) {
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i) r |= ((b >> i) & 1u) << (2 * i);
  return r;
}

struct SpreadTable {
  uint32_t v[256];
  constexpr SpreadTable() : v{} {
    for (uint32_t b = 0; b < 256; ++b) v[b] = SpreadByte(b);
  }
};

constexpr SpreadTable kSpread;

}  // namespace

const uint32_t EcPointMath::SquareSpreadTable[256] = {
#define EC_SPREAD_ROW(b) kSpread.v[b], kSpread.v[b + 1], kSpread.v[b + 2], kSpread.v[b + 3]
    EC_SPREAD_ROW(0),   EC_SPREAD_ROW(4),   EC_SPREAD_ROW(8),   EC_SPREAD_ROW(12),  EC_SPREAD_ROW(16),
    EC_SPREAD_ROW(20),  EC_SPREAD_ROW(24),  EC_SPREAD_ROW(28),  EC_SPREAD_ROW(32),  EC_SPREAD_ROW(36),
    EC_SPREAD_ROW(40),  EC_SPREAD_ROW(44),  EC_SPREAD_ROW(48),  EC_SPREAD_ROW(52),  EC_SPREAD_ROW(56),
    EC_SPREAD_ROW(60),  EC_SPREAD_ROW(64),  EC_SPREAD_ROW(68),  EC_SPREAD_ROW(72),  EC_SPREAD_ROW(76),
    EC_SPREAD_ROW(80),  EC_SPREAD_ROW(84),  EC_SPREAD_ROW(88),  EC_SPREAD_ROW(92),  EC_SPREAD_ROW(96),
    EC_SPREAD_ROW(100), EC_SPREAD_ROW(104), EC_SPREAD_ROW(108), EC_SPREAD_ROW(112), EC_SPREAD_ROW(116),
    EC_SPREAD_ROW(120), EC_SPREAD_ROW(124), EC_SPREAD_ROW(128), EC_SPREAD_ROW(132), EC_SPREAD_ROW(136),
    EC_SPREAD_ROW(140), EC_SPREAD_ROW(144), EC_SPREAD_ROW(148), EC_SPREAD_ROW(152), EC_SPREAD_ROW(156),
    EC_SPREAD_ROW(160), EC_SPREAD_ROW(164), EC_SPREAD_ROW(168), EC_SPREAD_ROW(172), EC_SPREAD_ROW(176),
    EC_SPREAD_ROW(180), EC_SPREAD_ROW(184), EC_SPREAD_ROW(188), EC_SPREAD_ROW(192), EC_SPREAD_ROW(196),
    EC_SPREAD_ROW(200), EC_SPREAD_ROW(204), EC_SPREAD_ROW(208), EC_SPREAD_ROW(212), EC_SPREAD_ROW(216),
    EC_SPREAD_ROW(220), EC_SPREAD_ROW(224), EC_SPREAD_ROW(228), EC_SPREAD_ROW(232), EC_SPREAD_ROW(236),
    EC_SPREAD_ROW(240), EC_SPREAD_ROW(244), EC_SPREAD_ROW(248), EC_SPREAD_ROW(252),
#undef EC_SPREAD_ROW
};

void EcPointMath::MakePolynomial(EcBigInt& out, unsigned m, int k1, int k2, int k3) {
  int count = static_cast<int>((m + 32) / 32);
  if (count > EcBigInt::kMaxWords) count = EcBigInt::kMaxWords;
  std::memset(out.words, 0, sizeof(uint32_t) * count);
  out.wordCount = count;
  out.sign = 1;
  EcBigInt::SetBit(out, static_cast<int>(m), 1);
  EcBigInt::SetBit(out, 0, 1);
  if (k1 > 0) EcBigInt::SetBit(out, k1, 1);
  if (k2 > 0) EcBigInt::SetBit(out, k2, 1);
  if (k3 > 0) EcBigInt::SetBit(out, k3, 1);
}

void EcPointMath::PolynomialExponents(const EcBigInt& f, int& m, int& k1, int& k2, int& k3) {
  m = EcBigInt::BitLength(f) - 1;
  int found[3] = {0, 0, 0};
  int n = 0;
  for (int e = 1; e < m && n < 3; ++e) {
    if (EcBigInt::TestBit(f, e) != 0) found[n++] = e;
  }
  k1 = found[0];
  k2 = found[1];
  k3 = found[2];
}

int EcPointMath::ToBytes(const EcBigInt& v, ByteString& out) {
  const int n = v.wordCount < 0 ? 0 : (v.wordCount > EcBigInt::kMaxWords ? EcBigInt::kMaxWords : v.wordCount);
  const int status = out.Resize(n * 4);
  if (status != 0) return status;
  unsigned char* p = out.Bytes();
  for (int i = 0; i < n; ++i) {
    const uint32_t w = v.words[n - 1 - i];
    p[4 * i] = static_cast<unsigned char>(w >> 24);
    p[4 * i + 1] = static_cast<unsigned char>(w >> 16);
    p[4 * i + 2] = static_cast<unsigned char>(w >> 8);
    p[4 * i + 3] = static_cast<unsigned char>(w);
  }
  return 0;
}

int EcPointMath::ToBytesFixed(const EcBigInt& v, int width, ByteString& out) {
  ByteString tmp;
  int status = ToBytes(v, tmp);
  if (status != 0) return status;
  int skip = 0;
  while (skip < tmp.Length() && tmp.Bytes()[skip] == 0) ++skip;
  const int n = tmp.Length() - skip;
  if (n == 0) return out.Clear();
  if (width < n) return kEcTooWide;
  if ((status = out.Resize(width)) != 0) return status;
  std::memset(out.Data(), 0, width - n);
  std::memcpy(out.Data() + (width - n), tmp.Data() + skip, n);
  return 0;
}

}  // namespace tornell
