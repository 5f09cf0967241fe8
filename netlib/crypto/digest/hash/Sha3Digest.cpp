#include "crypto/digest/hash/Sha3Digest.h"

#include "core/base/Status.h"

#include <cstring>

#include "crypto/digest/hash/BlockFeeder.h"
#include "crypto/digest/hash/DigestBytes.h"
#include "crypto/digest/hash/KeccakF1600.h"
#include "crypto/digest/hash/ShakeDigest.h"

namespace tornell {

using namespace digestbytes;

Sha3Digest::Sha3Digest(int rateBytes, int bits) : rate(rateBytes), outputBits(bits), paddingMode(1) {
  (void)Reset();  // resetting cannot fail
}

int Sha3Digest::Reset() {
  tailCount = 0;
  output.Clear();
  std::memset(lanes, 0, sizeof lanes);
  return kStatusOk;
}

int Sha3Digest::SetPaddingMode(int mode) {
  paddingMode = mode;
  return kStatusOk;
}

void Sha3Digest::Absorb(const unsigned char* data, size_t blocks) {
  const int words = rate / 8;
  for (; blocks > 0; --blocks, data += rate) {
    for (int i = 0; i < words; ++i) lanes[i] ^= LoadLe64(data + 8 * i);
    KeccakF1600(lanes);
  }
}

void Sha3Digest::Update(const char* data, int length) {
  if (length <= 0 || data == nullptr) return;
  tailCount = static_cast<int>(FeedBlocks(tail, static_cast<size_t>(tailCount),
                                          static_cast<size_t>(rate), Bytes(data),
                                          static_cast<size_t>(length),
                                          [this](const unsigned char* p, size_t k) { Absorb(p, k); }));
}

unsigned char* Sha3Digest::FinishWith(unsigned char domain) {
  unsigned char block[kMaxRate] = {};
  std::memcpy(block, tail, static_cast<size_t>(tailCount));
  block[tailCount] = domain;
  block[rate - 1] |= 0x80;

  int outBytes = outputBits / 8;
  output.Clear();
  if (output.AppendRepeated(outBytes, 0) != 0) return nullptr;
  Absorb(block, 1);

  unsigned char* out = output.Bytes();
  int done = 0;
  while (done < outBytes) {
    int chunk = outBytes - done < rate ? outBytes - done : rate;
    for (int i = 0; i < chunk; ++i) out[done + i] = static_cast<unsigned char>(lanes[i / 8] >> (8 * (i % 8)));
    done += chunk;
    if (done < outBytes) KeccakF1600(lanes);
  }
  return out;
}

unsigned char* Sha3Digest::Final() { return FinishWith(paddingMode == kFipsPadding ? 0x06 : 0x01); }

int Sha3Digest::CopyFrom(const Sha3Digest& other) {
  std::memcpy(lanes, other.lanes, sizeof lanes);
  std::memcpy(tail, other.tail, sizeof tail);
  tailCount = other.tailCount;
  rate = other.rate;
  outputBits = other.outputBits;
  paddingMode = other.paddingMode;
  return kStatusOk;
}

int ShakeDigest::SetOutputBits(int bits) {
  outputBits = bits;
  return kStatusOk;
}

unsigned char* ShakeDigest::Final() { return FinishWith(0x1F); }

int ShakeDigest::CopyFrom(const ShakeDigest& other) { return Sha3Digest::CopyFrom(other); }

}  // namespace tornell
