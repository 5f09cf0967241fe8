#include "crypto/digest/hash/HashContext.h"

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"

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
  explicit SlotFor(int id) : id_(id) { new (&digest_) T(); }
  // A digest state may be keyed (HMAC pads): nothing of it stays behind.
  ~SlotFor() override {
    digest_.~T();
    SecureWipe(&digest_, sizeof digest_);
  }
  SlotFor(const SlotFor&) = delete;
  SlotFor& operator=(const SlotFor&) = delete;

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
  union {
    T digest_;
  };
};

// Builds the object in `room` when it fits there (room may be null).
template <class T>
HashContext::Slot* Make(int id, void* room) {
  if constexpr (sizeof(SlotFor<T>) <= HashContext::kInlineSlotBytes && alignof(SlotFor<T>) <= 16) {
    if (room != nullptr) return new (room) SlotFor<T>(id);
  }
  return new (std::nothrow) SlotFor<T>(id);
}

using SlotMaker = HashContext::Slot* (*)(int id, void* room);

// The digests of certificates and handshakes select without allocating.
static_assert(sizeof(SlotFor<Sha512Digest>) <= HashContext::kInlineSlotBytes);
static_assert(sizeof(SlotFor<Md5Sha1Digest>) <= HashContext::kInlineSlotBytes);

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

HashContext::HashContext()
    : id_(HashAlgorithm::kSha1), slots_{}, held_(0), fresh_(HashAlgorithm::kSha1), inlineId_(-1) {}

HashContext::~HashContext() { ReleaseDigests(); }

HashContext::Slot* HashContext::NewSlot(int id) {
  void* room = inlineId_ < 0 ? inlineRoom_ : nullptr;
  Slot* slot = kMakers[id](id, room);
  if (slot == nullptr) return nullptr;
  if (static_cast<void*>(slot) == room) inlineId_ = id;
  held_ |= uint32_t{1} << id;
  if (fresh_ == id) fresh_ = -1;
  return slot;
}

HashContext::Slot* HashContext::Held(int id) {
  if (slots_[id] == nullptr && fresh_ == id) slots_[id] = NewSlot(id);
  return slots_[id];
}

void HashContext::ReleaseSlot(int id) {
  Slot*& slot = slots_[id];
  if (slot == nullptr) return;
  if (id == inlineId_) {
    slot->~Slot();
    inlineId_ = -1;
  } else {
    delete slot;
  }
  slot = nullptr;
  held_ &= ~(uint32_t{1} << id);
}

void HashContext::ReleaseDigests() {
  fresh_ = -1;
  while (held_ != 0) ReleaseSlot(__builtin_ctz(held_));
}

int HashContext::SetAlgorithm(int id) {
  id_ = id;
  ReleaseDigests();
  // Built on first use; a failed allocation then leaves the slot empty and
  // Update and Final report it.
  if (InTable(id)) fresh_ = id;
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

HashContext::Slot* HashContext::Selected() { return InTable(id_) ? Held(id_) : nullptr; }

void* HashContext::HeldObject(int slot) {
  Slot* held = Held(slot);
  return held != nullptr ? held->Object() : nullptr;
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
  const uint32_t held = other.held_ | (other.fresh_ >= 0 ? uint32_t{1} << other.fresh_ : 0);
  // One held object, the usual case (HMAC states): no order to keep.
  if ((held & (held - 1)) == 0) return held == 0 ? kStatusOk : CopySlot(__builtin_ctz(held), other);
  for (int id : kCopyOrder) {
    if ((held >> id & 1) == 0) continue;
    status = CopySlot(id, other);
    if (status != 0) return status;
  }
  return kStatusOk;
}

int HashContext::CopySlot(int id, const HashContext& other) {
  if (other.slots_[id] == nullptr) {
    // Other's object is a fresh one not built yet: so is this one's.
    ReleaseSlot(id);
    if (fresh_ >= 0 && fresh_ != id && Held(fresh_) == nullptr) return kStatusNoMemory;
    fresh_ = id;
    return kStatusOk;
  }
  if (slots_[id] == nullptr) slots_[id] = NewSlot(id);
  if (slots_[id] == nullptr) return kStatusNoMemory;
  return slots_[id]->CopyFrom(*other.slots_[id]);
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
