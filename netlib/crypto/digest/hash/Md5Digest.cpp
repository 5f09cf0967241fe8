#include "crypto/digest/hash/Md5Digest.h"

#include "core/base/Status.h"

#include <bit>
#include <cstring>

#include "crypto/digest/hash/BlockFeeder.h"
#include "crypto/digest/hash/DigestBytes.h"

namespace tornell {

using namespace digestbytes;

namespace {

// Rounds 1 and 2 keep their two halves as separate additions: the second
// half does not wait for the first, which shortens the dependency chain.
template <int S>
inline void StepF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xk) {
  a = b + std::rotl(a + xk + (d ^ (b & (c ^ d))), S);
}
template <int S>
inline void StepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xk) {
  a = b + std::rotl(a + xk + (~d & c) + (d & b), S);
}
template <int S>
inline void StepH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xk) {
  a = b + std::rotl(a + xk + (b ^ c ^ d), S);
}
template <int S>
inline void StepI(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xk) {
  a = b + std::rotl(a + xk + (c ^ (b | ~d)), S);
}

void CompressOne(uint32_t st[4], const unsigned char* p) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLe32(p + 4 * i);
  uint32_t a = st[0], b = st[1], c = st[2], d = st[3];

  StepF<7>(a, b, c, d, x[0] + 0xd76aa478);
  StepF<12>(d, a, b, c, x[1] + 0xe8c7b756);
  StepF<17>(c, d, a, b, x[2] + 0x242070db);
  StepF<22>(b, c, d, a, x[3] + 0xc1bdceee);
  StepF<7>(a, b, c, d, x[4] + 0xf57c0faf);
  StepF<12>(d, a, b, c, x[5] + 0x4787c62a);
  StepF<17>(c, d, a, b, x[6] + 0xa8304613);
  StepF<22>(b, c, d, a, x[7] + 0xfd469501);
  StepF<7>(a, b, c, d, x[8] + 0x698098d8);
  StepF<12>(d, a, b, c, x[9] + 0x8b44f7af);
  StepF<17>(c, d, a, b, x[10] + 0xffff5bb1);
  StepF<22>(b, c, d, a, x[11] + 0x895cd7be);
  StepF<7>(a, b, c, d, x[12] + 0x6b901122);
  StepF<12>(d, a, b, c, x[13] + 0xfd987193);
  StepF<17>(c, d, a, b, x[14] + 0xa679438e);
  StepF<22>(b, c, d, a, x[15] + 0x49b40821);

  StepG<5>(a, b, c, d, x[1] + 0xf61e2562);
  StepG<9>(d, a, b, c, x[6] + 0xc040b340);
  StepG<14>(c, d, a, b, x[11] + 0x265e5a51);
  StepG<20>(b, c, d, a, x[0] + 0xe9b6c7aa);
  StepG<5>(a, b, c, d, x[5] + 0xd62f105d);
  StepG<9>(d, a, b, c, x[10] + 0x02441453);
  StepG<14>(c, d, a, b, x[15] + 0xd8a1e681);
  StepG<20>(b, c, d, a, x[4] + 0xe7d3fbc8);
  StepG<5>(a, b, c, d, x[9] + 0x21e1cde6);
  StepG<9>(d, a, b, c, x[14] + 0xc33707d6);
  StepG<14>(c, d, a, b, x[3] + 0xf4d50d87);
  StepG<20>(b, c, d, a, x[8] + 0x455a14ed);
  StepG<5>(a, b, c, d, x[13] + 0xa9e3e905);
  StepG<9>(d, a, b, c, x[2] + 0xfcefa3f8);
  StepG<14>(c, d, a, b, x[7] + 0x676f02d9);
  StepG<20>(b, c, d, a, x[12] + 0x8d2a4c8a);

  StepH<4>(a, b, c, d, x[5] + 0xfffa3942);
  StepH<11>(d, a, b, c, x[8] + 0x8771f681);
  StepH<16>(c, d, a, b, x[11] + 0x6d9d6122);
  StepH<23>(b, c, d, a, x[14] + 0xfde5380c);
  StepH<4>(a, b, c, d, x[1] + 0xa4beea44);
  StepH<11>(d, a, b, c, x[4] + 0x4bdecfa9);
  StepH<16>(c, d, a, b, x[7] + 0xf6bb4b60);
  StepH<23>(b, c, d, a, x[10] + 0xbebfbc70);
  StepH<4>(a, b, c, d, x[13] + 0x289b7ec6);
  StepH<11>(d, a, b, c, x[0] + 0xeaa127fa);
  StepH<16>(c, d, a, b, x[3] + 0xd4ef3085);
  StepH<23>(b, c, d, a, x[6] + 0x04881d05);
  StepH<4>(a, b, c, d, x[9] + 0xd9d4d039);
  StepH<11>(d, a, b, c, x[12] + 0xe6db99e5);
  StepH<16>(c, d, a, b, x[15] + 0x1fa27cf8);
  StepH<23>(b, c, d, a, x[2] + 0xc4ac5665);

  StepI<6>(a, b, c, d, x[0] + 0xf4292244);
  StepI<10>(d, a, b, c, x[7] + 0x432aff97);
  StepI<15>(c, d, a, b, x[14] + 0xab9423a7);
  StepI<21>(b, c, d, a, x[5] + 0xfc93a039);
  StepI<6>(a, b, c, d, x[12] + 0x655b59c3);
  StepI<10>(d, a, b, c, x[3] + 0x8f0ccc92);
  StepI<15>(c, d, a, b, x[10] + 0xffeff47d);
  StepI<21>(b, c, d, a, x[1] + 0x85845dd1);
  StepI<6>(a, b, c, d, x[8] + 0x6fa87e4f);
  StepI<10>(d, a, b, c, x[15] + 0xfe2ce6e0);
  StepI<15>(c, d, a, b, x[6] + 0xa3014314);
  StepI<21>(b, c, d, a, x[13] + 0x4e0811a1);
  StepI<6>(a, b, c, d, x[4] + 0xf7537e82);
  StepI<10>(d, a, b, c, x[11] + 0xbd3af235);
  StepI<15>(c, d, a, b, x[2] + 0x2ad7d2bb);
  StepI<21>(b, c, d, a, x[9] + 0xeb86d391);

  st[0] += a;
  st[1] += b;
  st[2] += c;
  st[3] += d;
}

}  // namespace

void Md5Digest::Compress(uint32_t st[4], const unsigned char* data, size_t blocks) {
  for (; blocks > 0; --blocks, data += kBlockBytes) CompressOne(st, data);
}

void Md5Digest::Reset() {
  count[0] = count[1] = 0;
  state[0] = 0x67452301;
  state[1] = 0xefcdab89;
  state[2] = 0x98badcfe;
  state[3] = 0x10325476;
  std::memset(buffer, 0, sizeof buffer);
}

void Md5Digest::Update(const char* data, int length) {
  if (length <= 0 || data == nullptr) return;
  const uint32_t n = static_cast<uint32_t>(length);
  const size_t index = (count[0] >> 3) & 63;
  AddBitCount(count[1], count[0], n);
  FeedBlocks(buffer, index, kBlockBytes, Bytes(data), n,
             [this](const unsigned char* p, size_t k) { Compress(state, p, k); });
}

unsigned char* Md5Digest::Final() {
  unsigned char lengthField[8];
  StoreLe32(lengthField, count[0]);
  StoreLe32(lengthField + 4, count[1]);
  Update(kMdPadding, MdPadLength((count[0] >> 3) & 63, 56, kBlockBytes));
  Update(reinterpret_cast<const char*>(lengthField), 8);
  for (int i = 0; i < 4; ++i) StoreLe32(digest + 4 * i, state[i]);
  digest[kDigestBytes] = 0;
  return digest;
}

int Md5Digest::CopyFrom(const Md5Digest& other) {
  *this = other;
  return kStatusOk;
}

}  // namespace tornell
