#include "crypto/digest/mac/Hmac.h"

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"

#include <cstring>

#include "crypto/digest/hash/DigestBytes.h"

namespace tornell {

namespace {

constexpr unsigned char kInnerByte = 0x36;
constexpr unsigned char kOuterByte = 0x5C;

}  // namespace

Hmac::Hmac() : id_(HashAlgorithm::kSha1), padsPending_(1), keyedValid_(0) {}

Hmac::~Hmac() = default;

int Hmac::BlockSizeOf(int id) {
  using namespace HashAlgorithm;
  switch (id) {
    case kSha512:
    case kSha512_224:
    case kSha512_256:
    case kSha384:
      return 128;
    case kMd2:
      return 16;
    case kSha3_224:
      return 144;
    case kSha3_256:
    case kShake256:
      return 136;
    case kSha3_384:
      return 104;
    case kSha3_512:
      return 72;
    case kShake128:
      return 168;
    default:
      return 64;
  }
}

int Hmac::Init(int id, const char* key, int keyLength) {
  padsPending_ = 1;
  id_ = id;
  TORNELL_TRY(hash_.SetAlgorithm(id));
  return SetKey(key, keyLength);
}

int Hmac::SetKey(const char* key, int length) {
  keyedValid_ = 0;
  if (key == nullptr) length = 0;
  return key_.Set(key, length);
}

int Hmac::BuildKeyedStates() {
  const int block = GetBlockSize();
  unsigned char innerPad[kMaxBlockBytes] = {};
  unsigned char outerPad[kMaxBlockBytes] = {};
  int status = 0;
  if (key_.Length() > block) {
    // A long key enters as its digest.
    status = hash_.SetAlgorithm(id_);
    if (status == 0) status = hash_.Update(key_.Data(), key_.Length());
    if (status == 0) status = hash_.Final();
    if (status == 0) {
      std::memcpy(innerPad, hash_.GetDigest(), static_cast<size_t>(hash_.GetDigestLength()));
    }
  } else {
    std::memcpy(innerPad, key_.Data(), static_cast<size_t>(key_.Length()));
  }
  if (status == 0) {
    std::memcpy(outerPad, innerPad, sizeof outerPad);
    for (int i = 0; i < block; ++i) {
      innerPad[i] ^= kInnerByte;
      outerPad[i] ^= kOuterByte;
    }
    status = inner_.SetAlgorithm(id_);
    if (status == 0) status = outer_.SetAlgorithm(id_);
    if (status == 0) status = inner_.Update(reinterpret_cast<const char*>(innerPad), block);
    if (status == 0) status = outer_.Update(reinterpret_cast<const char*>(outerPad), block);
  }
  SecureWipeObject(innerPad);
  SecureWipeObject(outerPad);
  if (status == 0) keyedValid_ = 1;
  return status;
}

int Hmac::StartMessage() {
  if (!keyedValid_) {
    int status = BuildKeyedStates();
    if (status != 0) return status;
  }
  int status = hash_.CopyFrom(inner_);
  if (status == 0) padsPending_ = 0;
  return status;
}

int Hmac::Update(const char* data, int length) {
  if (padsPending_) {
    int status = StartMessage();
    if (status != 0) return status;
  }
  return hash_.Update(data, length);
}

int Hmac::Final() {
  if (padsPending_) {
    int status = StartMessage();
    if (status != 0) return status;
  }
  int status = hash_.Final();
  if (status != 0) return status;
  char innerDigest[kMaxMacBytes];
  const int innerLength = hash_.GetDigestLength();
  std::memcpy(innerDigest, hash_.GetDigest(), static_cast<size_t>(innerLength));
  status = hash_.CopyFrom(outer_);
  if (status == 0) status = hash_.Update(innerDigest, innerLength);
  if (status == 0) status = hash_.Final();
  if (status == 0) status = mac_.Set(hash_.GetDigest(), hash_.GetDigestLength());
  SecureWipeObject(innerDigest);
  if (status == 0) padsPending_ = 1;
  return status;
}

int Hmac::Mac(const char* data, int length, ByteString& out) {
  Restart();
  int status = Update(data, length);
  if (status == 0) status = Final();
  if (status == 0) status = out.Set(GetMac(), GetMacLength());
  return status;
}

}  // namespace tornell
