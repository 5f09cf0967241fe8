// Scalars modulo the Ed448 group order q = 2^446 - c in 32-bit words.
// Reduction runs word by word from the top (r = r * 2^32 + w mod q), folding
// the bits at and above 2^446 with 2^446 = c (mod q); it is constant time.
#include <cstring>

#include "crypto/ecc/edwards/EdwardsMath.h"

namespace tornell {

namespace {

constexpr int kWords = 14;
constexpr uint32_t kOrderLow[7] = {0x54a7bb0d, 0xdc873d6d, 0x723a70aa, 0xde933d8d,
                                   0x5129c96f, 0x3bb124b6, 0x8335dc16};
const Ed448OrderModulus kOrder = {kWords, 30, 7, kOrderLow};

// q in 14 words.
void OrderWords(uint32_t* q, const Ed448OrderModulus& mod) {
  uint32_t zero[kWords] = {};
  uint32_t low[kWords] = {};
  std::memcpy(low, mod.lowWords, sizeof(uint32_t) * mod.lowWordCount);
  // q = 2^446 - c: subtract c from zero and add 2^446 (bit 30 of word 13).
  EdwardsMath::SubMasked(q, 0, zero, kWords, low, kWords, 0xFFFFFFFFu);
  q[13] = (q[13] + (uint32_t{1} << mod.shift)) & ((uint32_t{1} << mod.shift) - 1);
}

// r (below q) = r * 2^32 + w mod q.
void ReduceStep(uint32_t* r, uint32_t w, const Ed448OrderModulus& mod, const uint32_t* q) {
  uint32_t t[kWords + 1];
  t[0] = w;
  std::memcpy(t + 1, r, sizeof(uint32_t) * kWords);
  const uint32_t shift = mod.shift;
  const uint32_t hi = (t[13] >> shift) | (t[14] << (32 - shift));
  t[13] &= (uint32_t{1} << shift) - 1;
  t[14] = 0;
  uint32_t carry = 0;
  EdwardsMath::MulAccWord(t, 0, kWords + 1, mod.lowWords, mod.lowWordCount, hi, 0, &carry);
  // t < 2q now; subtract q once unless that borrows.
  uint32_t d[kWords + 1];
  const int32_t borrow = EdwardsMath::SubMasked(d, 0, t, kWords + 1, q, kWords, 0xFFFFFFFFu);
  const uint32_t keep = static_cast<uint32_t>(borrow);  // all ones: t < q
  for (int i = 0; i < kWords; ++i) r[i] = (t[i] & keep) | (d[i] & ~keep);
}

void ReduceWords(uint32_t* r, const uint32_t* x, int n, const Ed448OrderModulus& mod) {
  uint32_t q[kWords];
  OrderWords(q, mod);
  std::memset(r, 0, sizeof(uint32_t) * kWords);
  for (int i = n - 1; i >= 0; --i) ReduceStep(r, x[i], mod, q);
}

}  // namespace

uint32_t EdwardsMath::AddMasked(uint32_t* out, const uint32_t* a, int na, const uint32_t* c, int offset, int nc,
                                uint32_t mask) {
  uint64_t carry = 0;
  for (int i = 0; i < na; ++i) {
    carry += a[i];
    if (i < nc) carry += c[offset + i] & mask;
    out[i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  return static_cast<uint32_t>(carry);
}

uint32_t EdwardsMath::AddInPlace(uint32_t* a, const uint32_t* b, int n) { return AddMasked(a, a, n, b, 0, n, ~0u); }

int32_t EdwardsMath::SubMasked(uint32_t* out, int offset, const uint32_t* a, int na, const uint32_t* c, int nc,
                               uint32_t mask) {
  int64_t borrow = 0;
  for (int i = 0; i < na; ++i) {
    borrow += a[i];
    if (i < nc) borrow -= c[i] & mask;
    out[offset + i] = static_cast<uint32_t>(borrow);
    borrow >>= 32;
  }
  return static_cast<int32_t>(borrow);
}

int EdwardsMath::MulAccWord(uint32_t* acc, int offset, int accWords, const uint32_t* m, int nm, uint32_t w,
                            uint32_t carryIn, uint32_t* carryOut) {
  if (nm > accWords - offset) return kEdwardsRange;
  uint64_t carry = carryIn;
  int i = 0;
  for (; i < nm; ++i) {
    carry += static_cast<uint64_t>(m[i]) * w + acc[offset + i];
    acc[offset + i] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  for (int j = offset + i; j < accWords; ++j) {
    carry += acc[j];
    acc[j] = static_cast<uint32_t>(carry);
    carry >>= 32;
  }
  *carryOut = static_cast<uint32_t>(carry);
  return 0;
}

int EdwardsMath::Scalar448Reduce(uint32_t* x, int n, uint32_t h, const Ed448OrderModulus& mod) {
  if (mod.wordCount != kWords || n < kWords || h >= (uint32_t{1} << mod.shift)) return kEdwardsRange;
  uint32_t r[kWords];
  uint32_t q[kWords];
  OrderWords(q, mod);
  std::memset(r, 0, sizeof(r));
  ReduceStep(r, h, mod, q);
  for (int i = n - 1; i >= 0; --i) ReduceStep(r, x[i], mod, q);
  std::memcpy(x, r, sizeof(r));
  for (int i = kWords; i < n; ++i) x[i] = 0;
  return 0;
}

int EdwardsMath::Scalar448Reduce(uint32_t* x, int n, uint32_t h) { return Scalar448Reduce(x, n, h, kOrder); }

int EdwardsMath::Scalar448Negate(uint32_t* x, int n, const Ed448OrderModulus& mod) {
  const int status = Scalar448Reduce(x, n, 0, mod);
  if (status != 0) return status;
  uint32_t q[kWords];
  OrderWords(q, mod);
  SubMasked(x, 0, q, kWords, x, kWords, 0xFFFFFFFFu);
  return 0;
}

int EdwardsMath::Scalar448Negate(uint32_t* x, int n) { return Scalar448Negate(x, n, kOrder); }

int EdwardsMath::Scalar448MulAdd(uint32_t* acc, int accWords, const uint32_t* a, int aWords, const uint32_t* b,
                                 int bWords, const Ed448OrderModulus& mod, int add) {
  if (accWords < mod.wordCount || aWords < 1 || bWords < 1 || aWords + bWords > 64) return kEdwardsRange;
  uint32_t prod[65] = {};
  for (int i = 0; i < bWords; ++i) {
    uint32_t carry = 0;
    MulAccWord(prod, i, aWords + bWords, a, aWords, b[i], 0, &carry);
  }
  int n = aWords + bWords;
  if (add) {
    const int m = accWords < 64 ? accWords : 64;
    if (m > n) n = m;
    prod[n] = AddMasked(prod, prod, n, acc, 0, m, 0xFFFFFFFFu);
    ++n;
  }
  uint32_t r[kWords];
  ReduceWords(r, prod, n, mod);
  std::memcpy(acc, r, sizeof(r));
  for (int i = kWords; i < accWords; ++i) acc[i] = 0;
  return 0;
}

int EdwardsMath::Scalar448MulAdd(uint32_t* acc, int accWords, const uint32_t* a, int aWords, const uint32_t* b,
                                 int bWords, int add) {
  return Scalar448MulAdd(acc, accWords, a, aWords, b, bWords, kOrder, add);
}

uint32_t EdwardsMath::Scalar448Decode(uint32_t* out, const unsigned char* bytes, int length,
                                      const Ed448OrderModulus& mod) {
  std::memset(out, 0, sizeof(uint32_t) * kWords);
  const int n = length < 56 ? (length < 0 ? 0 : length) : 56;
  for (int i = 0; i < n; ++i) out[i / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (i % 4));
  uint32_t q[kWords], d[kWords];
  OrderWords(q, mod);
  return static_cast<uint32_t>(SubMasked(d, 0, out, kWords, q, kWords, 0xFFFFFFFFu));
}

uint32_t EdwardsMath::Scalar448Decode(uint32_t* out, const unsigned char* bytes, int length) {
  return Scalar448Decode(out, bytes, length, kOrder);
}

int EdwardsMath::Scalar448DecodeReduce(uint32_t* out, const unsigned char* bytes, int length,
                                       const Ed448OrderModulus& mod) {
  if (length < 0 || length > 4096) return kEdwardsRange;
  uint32_t words[1024] = {};
  for (int i = 0; i < length; ++i) words[i / 4] |= static_cast<uint32_t>(bytes[i]) << (8 * (i % 4));
  ReduceWords(out, words, (length + 3) / 4, mod);
  return 0;
}

int EdwardsMath::Scalar448DecodeReduce(uint32_t* out, const unsigned char* bytes, int length) {
  return Scalar448DecodeReduce(out, bytes, length, kOrder);
}

void EdwardsMath::Scalar448Encode(unsigned char* bytes, const uint32_t* words, int length) {
  for (int i = 0; i < (length / 4) * 4; ++i) bytes[i] = static_cast<unsigned char>(words[i / 4] >> (8 * (i % 4)));
}

void EdwardsMath::Scalar448Halve(uint32_t* out, const uint32_t* x) {
  uint32_t q[kWords], t[kWords + 1];
  OrderWords(q, kOrder);
  const uint32_t odd = 0 - (x[0] & 1);
  t[kWords] = AddMasked(t, x, kWords, q, 0, kWords, odd);
  for (int i = 0; i < kWords; ++i) out[i] = (t[i] >> 1) | (t[i + 1] << 31);
}

}  // namespace tornell
