#include "crypto/digest/hash/HashContext.h"

#include "core/base/Status.h"

#include <new>

#include "crypto/digest/hash/Md2Digest.h"
#include "crypto/digest/hash/Md4Digest.h"
#include "crypto/digest/hash/Md5Digest.h"
#include "crypto/digest/hash/Md5Sha1Digest.h"
#include "crypto/digest/hash/Ripemd160Digest.h"
#include "crypto/digest/hash/Sha1Digest.h"
#include "crypto/digest/hash/Sha256Digest.h"
#include "crypto/digest/hash/Sha3Digest.h"
#include "crypto/digest/hash/Sha512Digest.h"
#include "crypto/digest/hash/ShakeDigest.h"

namespace tornell {

// One held digest object behind the interface the context needs; hides the
// classes' differing Reset, Final and output lengths.
class HashContext::Slot {
 public:
  virtual ~Slot() = default;
  virtual int Reset() = 0;
  // A digest that runs past its length counter fails at Final, not here.
  virtual void Update(const char* data, int length) = 0;
  // Finishes; sets `length` to the digest bytes at the returned pointer, or
  // returns null with a status when the object has no digest to give.
  virtual const unsigned char* Final(int& length, int& status) = 0;
  virtual int CopyFrom(const Slot& other) = 0;
  virtual int SetPaddingMode(int mode) = 0;
  virtual void* Object() = 0;
};

namespace {

template <class T>
class SlotFor final : public HashContext::Slot {
 public:
  explicit SlotFor(int id) : id_(id) {}

  int Reset() override {
    if constexpr (std::is_void_v<decltype(digest_.Reset())>) {
      digest_.Reset();
      return kStatusOk;
    } else {
      return digest_.Reset();
    }
  }
  void Update(const char* data, int length) override { (void)digest_.Update(data, length); }

  const unsigned char* Final(int& length, int& status) override {
    const unsigned char* out = digest_.Final();
    if constexpr (std::is_base_of_v<ShakeDigest, T>) {
      length = digest_.GetOutputBits() / 8;
    } else {
      length = HashDigestLength(id_);
    }
    if (out == nullptr) {
      // Only SHA-1 fails on length; the sponges fail on their output buffer.
      status = std::is_base_of_v<Sha3Digest, T> ? kStatusNoMemory : kStatusDigestFailed;
    }
    return out;
  }

  int CopyFrom(const Slot& other) override {
    return digest_.CopyFrom(static_cast<const SlotFor<T>&>(other).digest_);
  }

  int SetPaddingMode(int mode) override {
    if constexpr (std::is_base_of_v<Sha3Digest, T> && !std::is_base_of_v<ShakeDigest, T>) {
      return digest_.SetPaddingMode(mode);
    } else {
      (void)mode;
      return kStatusOk;
    }
  }

  void* Object() override { return &digest_; }

 private:
  int id_;
  T digest_;
};

template <class T>
HashContext::Slot* Make(int id) {
  return new (std::nothrow) SlotFor<T>(id);
}

using SlotMaker = HashContext::Slot* (*)(int id);

const SlotMaker kMakers[HashAlgorithm::kCount] = {
    Make<Sha1Digest>,       Make<Md5Digest>,        Make<Sha256Digest>,     Make<Sha224Digest>,
    Make<Sha512Digest>,     Make<Sha512_224Digest>, Make<Sha512_256Digest>, Make<Sha384Digest>,
    Make<Ripemd160Digest>,  Make<Md4Digest>,        Make<Md2Digest>,        Make<Md5Sha1Digest>,
    Make<Sha3_224Digest>,   Make<Sha3_256Digest>,   Make<Sha3_384Digest>,   Make<Sha3Digest>,
    Make<Shake128Digest>,   Make<Shake256Digest>,
};

// The order in which CopyFrom visits the slots.
const int kCopyOrder[HashAlgorithm::kCount] = {0, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15, 16, 17, 8, 1, 9, 10, 11};

bool InTable(int id) { return static_cast<unsigned>(id) < HashAlgorithm::kCount; }

}  // namespace

HashContext::HashContext() : id_(HashAlgorithm::kSha1), slots_{} {
  slots_[HashAlgorithm::kSha1] = kMakers[HashAlgorithm::kSha1](HashAlgorithm::kSha1);
}

HashContext::~HashContext() { ReleaseDigests(); }

void HashContext::ReleaseDigests() {
  for (Slot*& slot : slots_) {
    delete slot;
    slot = nullptr;
  }
}

int HashContext::SetAlgorithm(int id) {
  id_ = id;
  ReleaseDigests();
  // A failed allocation leaves the slot empty; Update and Final report it.
  if (InTable(id)) slots_[id] = kMakers[id](id);
  return kStatusOk;
}

int HashContext::SetAlgorithm(const char* name) {
  ByteString upper;
  int status = upper.Set(name);
  if (status != 0) return status;
  upper.ToUpper();
  int id = HashAlgorithmIdOf(upper.CStr());
  if (id < 0) return kStatusUnknownDigest;
  return SetAlgorithm(id);
}

HashContext::Slot* HashContext::Selected() const { return InTable(id_) ? slots_[id_] : nullptr; }

void* HashContext::HeldObject(int slot) {
  return slots_[slot] != nullptr ? slots_[slot]->Object() : nullptr;
}

int HashContext::Reset() {
  for (Slot* slot : slots_) {
    if (slot != nullptr) TORNELL_TRY(slot->Reset());
  }
  return kStatusOk;
}

int HashContext::Update(const char* data, int length) {
  if (!InTable(id_)) return kStatusUnknownDigest;
  Slot* slot = Selected();
  if (slot == nullptr) return kStatusNoMemory;
  if (length < 0 || (data == nullptr && length > 0)) return kStatusDigestBadInput;
  slot->Update(data, length);
  return kStatusOk;
}

int HashContext::Final() {
  if (!InTable(id_)) return kStatusUnknownDigest;
  Slot* slot = Selected();
  if (slot == nullptr) return kStatusNoMemory;
  int length = 0;
  int status = 0;
  const unsigned char* out = slot->Final(length, status);
  if (out == nullptr) return status;
  return result_.Set(out, length);
}

int HashContext::Digest(const char* data, int length, ByteString& out) {
  int status = Reset();
  if (status == 0) status = Update(data, length);
  if (status == 0) status = Final();
  if (status == 0) status = out.Assign(result_);
  return status;
}

int HashContext::SetPaddingMode(int mode) {
  if (id_ < HashAlgorithm::kSha3_224 || id_ > HashAlgorithm::kSha3_512) return kStatusOk;
  Slot* slot = Selected();
  if (slot == nullptr) return kStatusNoMemory;
  return slot->SetPaddingMode(mode);
}

int HashContext::CopyFrom(const HashContext& other) {
  if (&other == this) return kStatusOk;
  id_ = other.id_;
  int status = result_.Assign(other.result_);
  if (status != 0) return status;
  for (int id : kCopyOrder) {
    if (other.slots_[id] == nullptr) continue;
    if (slots_[id] == nullptr) slots_[id] = kMakers[id](id);
    if (slots_[id] == nullptr) return kStatusNoMemory;
    status = slots_[id]->CopyFrom(*other.slots_[id]);
    if (status != 0) return status;
  }
  return kStatusOk;
}

HashContext* HashContext::Clone() const {
  HashContext* copy = new (std::nothrow) HashContext;
  if (copy == nullptr) return nullptr;
  copy->id_ = id_;
  if (copy->result_.Assign(result_) != 0) {
    delete copy;
    return nullptr;
  }
  return copy;
}

}  // namespace tornell
