#pragma once
// The library's single front for message digests: choose an algorithm by
// digest number (HashAlgorithm) or name, feed bytes, finish, and read the
// digest from a result buffer the context owns.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashAlgorithm.h"

namespace tornell {

class Md5Digest;
class Sha1Digest;
class Sha256Digest;
class Sha224Digest;
class Sha512Digest;
class Sha512_224Digest;
class Sha512_256Digest;
class Sha384Digest;
class Ripemd160Digest;
class Md4Digest;
class Md2Digest;
class Md5Sha1Digest;
class Sha3_224Digest;
class Sha3_256Digest;
class Sha3_384Digest;
class Sha3Digest;
class Shake128Digest;
class Shake256Digest;

class HashContext {
 public:
  // Selects SHA-1: a new context hashes at once.
  HashContext();
  ~HashContext();
  HashContext(const HashContext&) = delete;
  HashContext& operator=(const HashContext&) = delete;

  // Discards every held digest object and starts a fresh one for the id.
  // Always 0: an id outside 0-17 is kept and reported by Update and Final.
  [[nodiscard]] int SetAlgorithm(int id);
  // Upper-cases the name and selects its id; 2001 for a name not in the table
  // (the selection stays as it was), 200 when the name cannot be copied.
  [[nodiscard]] int SetAlgorithm(const char* name);
  int GetAlgorithm() const { return id_; }

  // Restarts every held digest object; the last result stays readable.
  [[nodiscard]] int Reset();
  // 2001 for an id outside 0-17, 200 when the id has no digest object, 2002
  // for a negative length or null data with a length (nothing is read).
  [[nodiscard]] int Update(const char* data, int length);
  // Finishes the message into the result buffer. 2001 and 200 as Update,
  // 2003 when the digest object has failed (message too long); the result
  // then keeps the previous digest. The digest object is not restarted.
  [[nodiscard]] int Final();

  const char* GetDigest() const { return result_.Data(); }
  int GetDigestLength() const { return result_.Length(); }
  // Bits of the id's digest from the table (SHAKE128 256, SHAKE256 512).
  int GetDigestBits() const { return DigestLengthOf(id_) * 8; }
  static int DigestLengthOf(int id) { return HashDigestLength(id); }

  // One shot: Reset, Update, Final, then `out` = the digest.
  [[nodiscard]] int Digest(const char* data, int length, ByteString& out);
  // For ids 12-15: 2 selects the FIPS 202 padding, anything else Keccak's;
  // lasts until the next selection. 200 when the id has no object.
  [[nodiscard]] int SetPaddingMode(int mode);

  // Continues exactly where `other` stands (id, result and every digest
  // object `other` holds). Objects `other` lacks are left as they are here.
  [[nodiscard]] int CopyFrom(const HashContext& other);
  // A new context (the caller deletes it) with this id and result but the
  // digest objects of a new context: it hashes only after a selection unless
  // the id is 0. Null when memory runs out.
  HashContext* Clone() const;
  void ReleaseDigests();

  // The held digest object of class T when its slot is filled, else null;
  // for callers that need a digest's own settings (SHAKE output length).
  template <class T>
  T* HeldDigest() {
    return static_cast<T*>(HeldObject(SlotOf<T>()));
  }

  class Slot;
  // Room inside the context for one digest object: every MD and SHA-1/SHA-2
  // object fits, so selecting or copying one allocates nothing; the larger
  // sponges (SHA-3, SHAKE) and a second held object go to the heap.
  static constexpr size_t kInlineSlotBytes = 304;

 private:
  template <class T>
  static constexpr int SlotOf() {
    using namespace HashAlgorithm;
    if constexpr (std::is_same_v<T, Sha1Digest>) return kSha1;
    else if constexpr (std::is_same_v<T, Md5Digest>) return kMd5;
    else if constexpr (std::is_same_v<T, Sha256Digest>) return kSha256;
    else if constexpr (std::is_same_v<T, Sha224Digest>) return kSha224;
    else if constexpr (std::is_same_v<T, Sha512Digest>) return kSha512;
    else if constexpr (std::is_same_v<T, Sha512_224Digest>) return kSha512_224;
    else if constexpr (std::is_same_v<T, Sha512_256Digest>) return kSha512_256;
    else if constexpr (std::is_same_v<T, Sha384Digest>) return kSha384;
    else if constexpr (std::is_same_v<T, Ripemd160Digest>) return kRipemd160;
    else if constexpr (std::is_same_v<T, Md4Digest>) return kMd4;
    else if constexpr (std::is_same_v<T, Md2Digest>) return kMd2;
    else if constexpr (std::is_same_v<T, Md5Sha1Digest>) return kMd5Sha1;
    else if constexpr (std::is_same_v<T, Sha3_224Digest>) return kSha3_224;
    else if constexpr (std::is_same_v<T, Sha3_256Digest>) return kSha3_256;
    else if constexpr (std::is_same_v<T, Sha3_384Digest>) return kSha3_384;
    else if constexpr (std::is_same_v<T, Sha3Digest>) return kSha3_512;
    else if constexpr (std::is_same_v<T, Shake128Digest>) return kShake128;
    else {
      static_assert(std::is_same_v<T, Shake256Digest>, "not a digest class of the table");
      return kShake256;
    }
  }
  void* HeldObject(int slot);
  Slot* Selected();
  // The object for the id, built now when it is the fresh one still due.
  Slot* Held(int id);
  // A fresh object for the id, in the inline room when it is free; null when
  // memory runs out.
  Slot* NewSlot(int id);
  void ReleaseSlot(int id);
  // Copies other's object for the id into this context's, made when missing.
  [[nodiscard]] int CopySlot(int id, const HashContext& other);

  int id_;
  // Digests are often keys (HMAC, HKDF): wiped when given back.
  SecretBytes result_;
  Slot* slots_[HashAlgorithm::kCount];
  uint32_t held_;  // bit id set while slots_[id] holds an object
  // The id of a fresh object this context holds without having built it yet
  // (a selection builds its object on first use), -1 for none.
  int fresh_;
  int inlineId_;  // the id whose object lives in inlineRoom_, -1 when free
  alignas(16) unsigned char inlineRoom_[kInlineSlotBytes];
};

}  // namespace tornell
