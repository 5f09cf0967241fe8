#pragma once
// The steps SHA-256 and SHA-512 share, alike for 32- and 64-bit words.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "crypto/digest/hash/BlockFeeder.h"
#include "crypto/digest/hash/DigestBytes.h"

namespace tornell::digestbytes {

// A negative length or a null pointer is refused: nothing is read.
template <class Digest>
inline void UpdateSha2(Digest& d, const char* data, int length) {
  if (length <= 0 || data == nullptr) return;
  const uint32_t n = static_cast<uint32_t>(length);
  const size_t index = static_cast<size_t>(d.countLow >> 3) & (Digest::kBlockBytes - 1);
  AddBitCount(d.countHigh, d.countLow, n);
  FeedBlocks(d.buffer, index, Digest::kBlockBytes, Bytes(data), n,
             [&d](const unsigned char* p, size_t k) { Digest::Compress(d.state, p, k); });
}

// Padding, the bit count high word first, the eight state words big-endian
// and a zero byte. The finished state is wiped; the object hashes again only
// after Reset.
template <class Digest>
inline unsigned char* FinishSha2(Digest& d) {
  using Word = std::remove_reference_t<decltype(d.countLow)>;
  constexpr unsigned kWordBytes = sizeof(Word);
  constexpr unsigned kBlockBytes = Digest::kBlockBytes;
  auto store = [](unsigned char* p, Word v) {
    if constexpr (kWordBytes == 4) {
      StoreBe32(p, v);
    } else {
      StoreBe64(p, v);
    }
  };
  unsigned char lengthField[2 * kWordBytes];
  store(lengthField, d.countHigh);
  store(lengthField + kWordBytes, d.countLow);
  d.Update(kMdPadding, MdPadLength(static_cast<unsigned>(d.countLow >> 3) & (kBlockBytes - 1),
                                   kBlockBytes - 2 * kWordBytes, kBlockBytes));
  d.Update(reinterpret_cast<const char*>(lengthField), 2 * kWordBytes);
  for (unsigned i = 0; i < 8; ++i) store(d.digest + kWordBytes * i, d.state[i]);
  d.digest[Digest::kDigestBytes] = 0;
  std::memset(d.state, 0, sizeof d.state);
  d.countHigh = d.countLow = 0;
  std::memset(d.buffer, 0, sizeof d.buffer);
  return d.digest;
}

}  // namespace tornell::digestbytes
