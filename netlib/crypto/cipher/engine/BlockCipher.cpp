#include "crypto/cipher/engine/BlockCipher.h"

#include <new>
#include <type_traits>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"

#include "crypto/cipher/aead/AesGcm.h"
#include "crypto/cipher/aead/ChaCha20Poly1305.h"
#include "crypto/cipher/aes/AesCipher.h"
#include "crypto/cipher/aes/RijndaelCipher.h"
#include "crypto/cipher/block/BlowfishCipher.h"
#include "crypto/cipher/block/Cast128Cipher.h"
#include "crypto/cipher/block/DesCipher.h"
#include "crypto/cipher/block/IdeaCipher.h"
#include "crypto/cipher/block/Rc2Cipher.h"
#include "crypto/cipher/block/TeaCipher.h"
#include "crypto/cipher/block/TripleDesCipher.h"
#include "crypto/cipher/block/TwofishCipher.h"
#include "crypto/cipher/block/XteaCipher.h"
#include "crypto/cipher/block/XxteaCipher.h"
#include "crypto/cipher/engine/CipherMode.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/cipher/stream/ChaCha20.h"
#include "crypto/cipher/stream/Rc4Cipher.h"

namespace tornell {

int BlockCipher::EncryptBlock(const uint8_t*, uint8_t*) { return SymmetricCipher::kUnknownAlgorithm; }
int BlockCipher::DecryptBlock(const uint8_t*, uint8_t*) { return SymmetricCipher::kUnknownAlgorithm; }
int BlockCipher::Stream(const uint8_t*, int, uint8_t*, int) { return SymmetricCipher::kUnknownAlgorithm; }
int BlockCipher::AeadUpdate(uint8_t*, int, uint8_t*, int) { return SymmetricCipher::kUnknownAlgorithm; }
int BlockCipher::AeadFinal(uint8_t*, int*, int) { return SymmetricCipher::kUnknownAlgorithm; }

int BlockCipher::DecryptBlocks(const uint8_t*, uint8_t*, int, int) { return SymmetricCipher::kUnknownAlgorithm; }
int BlockCipher::EncryptCbc(uint8_t*, const uint8_t*, uint8_t*, int, int) { return SymmetricCipher::kUnknownAlgorithm; }
int BlockCipher::DecryptCbc(uint8_t*, const uint8_t*, uint8_t*, int, int) { return SymmetricCipher::kUnknownAlgorithm; }

namespace {

enum AlgorithmId : int {
  kAes = 0,
  kDes = 1,
  kTripleDes = 2,
  kCast128 = 3,
  kBlowfish = 4,
  kTwofish = 5,
  kIdea = 6,
  kRc4 = 7,
  kRc2 = 8,
  kTea = 9,
  kXtea = 10,
  kXxtea = 11,
  kAesGcm = 12,
  kRijndael = 13,
  kChaCha20 = 14,
  kChaCha20Poly1305 = 15,
};

// Holds one algorithm object; copying needs the other side to hold the same.
template <class T, int kId>
class Held : public BlockCipher {
 public:
  // Objects with heap tables wipe them themselves; the plain schedules of
  // the others are wiped here, when the engine lets the algorithm go.
  ~Held() override {
    if constexpr (std::is_trivially_destructible_v<T>) SecureWipeObject(object_);
  }
  int Id() const override { return kId; }
  int CopyFrom(const BlockCipher& other) override {
    if (other.Id() != kId) return SymmetricCipher::kUnknownAlgorithm;
    return object_.CopyFrom(static_cast<const Held&>(other).object_);
  }

 protected:
  T object_;
};

// The block algorithms keyed with (key, length) or, by the direction rule,
// with (key, length, encrypt, mode).
template <class T, int kId>
class HeldBlock final : public Held<T, kId> {
 public:
  int SetKey(const CipherKeying& k) override {
    if constexpr (requires(T t) { t.SetKey(k.key, k.keyLength, k.encrypt, k.mode); })
      return this->object_.SetKey(k.key, k.keyLength, k.encrypt, k.mode);
    else
      return this->object_.SetKey(k.key, k.keyLength);
  }
  int EncryptBlock(const uint8_t* in, uint8_t* out) override { return this->object_.EncryptBlock(in, out); }
  int DecryptBlock(const uint8_t* in, uint8_t* out) override { return this->object_.DecryptBlock(in, out); }
};

class HeldAes final : public Held<AesCipher, kAes> {
 public:
  int SetKey(const CipherKeying& k) override { return object_.SetKey(k.key, k.keyLength, k.encrypt, k.mode); }
  int EncryptBlock(const uint8_t* in, uint8_t* out) override { return object_.EncryptBlock(in, out); }
  int DecryptBlock(const uint8_t* in, uint8_t* out) override { return object_.DecryptBlock(in, out); }
  bool HasBulkBlocks() const override { return true; }
  int DecryptBlocks(const uint8_t* in, uint8_t* out, int blocks, int) override {
    return object_.DecryptBlocks(in, out, blocks);
  }
  int EncryptCbc(uint8_t* chain, const uint8_t* in, uint8_t* out, int blocks, int) override {
    return object_.EncryptCbc(chain, in, out, blocks);
  }
  int DecryptCbc(uint8_t* chain, const uint8_t* in, uint8_t* out, int blocks, int) override {
    return object_.DecryptCbc(chain, in, out, blocks);
  }
};

class HeldRijndael final : public Held<RijndaelCipher, kRijndael> {
 public:
  int SetKey(const CipherKeying& k) override {
    return object_.SetKey(k.key, k.keyLength, k.blockLength, k.encrypt, k.mode);
  }
  int EncryptBlock(const uint8_t* in, uint8_t* out) override { return object_.EncryptBlock(in, out); }
  int DecryptBlock(const uint8_t* in, uint8_t* out) override { return object_.DecryptBlock(in, out); }
};

class HeldXxtea final : public Held<XxteaCipher, kXxtea> {
 public:
  int SetKey(const CipherKeying& k) override {
    blockLength_ = k.blockLength;
    return object_.SetKey(k.key, k.keyLength, k.encrypt, k.mode);
  }
  int EncryptBlock(const uint8_t* in, uint8_t* out) override { return object_.EncryptBlock(in, blockLength_, out); }
  int DecryptBlock(const uint8_t* in, uint8_t* out) override { return object_.DecryptBlock(in, blockLength_, out); }
  int CopyFrom(const BlockCipher& other) override {
    TORNELL_TRY(Held::CopyFrom(other));
    blockLength_ = static_cast<const HeldXxtea&>(other).blockLength_;
    return kStatusOk;
  }

 private:
  int blockLength_ = 8;
};

class HeldRc4 final : public Held<Rc4Cipher, kRc4> {
 public:
  int SetKey(const CipherKeying& k) override { return object_.SetKey(k.key, k.keyLength); }
  int Stream(const uint8_t* in, int length, uint8_t* out, int encrypt) override {
    return encrypt ? object_.Encrypt(in, length, out) : object_.Decrypt(in, length, out);
  }
};

class HeldChaCha20 final : public Held<ChaCha20, kChaCha20> {
 public:
  // The initial block counter stays 0: nothing in the engine sets another.
  int SetKey(const CipherKeying& k) override {
    return object_.SetKey(k.key, k.keyLength, k.iv, k.ivLength, object_.GetCounter());
  }
  int Stream(const uint8_t* in, int length, uint8_t* out, int) override {
    return object_.Encrypt(in, size_t(length), out);
  }
};

class HeldAesGcm final : public Held<AesGcm, kAesGcm> {
 public:
  int SetKey(const CipherKeying& k) override {
    TORNELL_TRY(object_.SetKey(k.key, k.keyLength));
    // Outside GCM mode there is no data path to start a message for.
    if (k.mode != CipherMode::GCM) return kStatusOk;
    TORNELL_TRY(object_.SetIV(k.iv, uint64_t(k.ivLength)));
    return object_.AddAad(k.aad, uint64_t(k.aadLength));
  }
  int AeadUpdate(uint8_t* plainSide, int length, uint8_t* cipherSide, int encrypt) override {
    return object_.Update(plainSide, uint64_t(length), cipherSide, encrypt != 0);
  }
  int AeadFinal(uint8_t* tag, int* length, int encrypt) override { return object_.Finish(tag, length, encrypt); }
};

class HeldChaChaPoly final : public Held<ChaCha20Poly1305, kChaCha20Poly1305> {
 public:
  int SetKey(const CipherKeying& k) override {
    TORNELL_TRY(object_.Init(k.key, k.keyLength, k.iv, k.ivLength, 0, 1));
    return object_.SetAad(k.aad, k.aadLength);
  }
  int AeadUpdate(uint8_t* plainSide, int length, uint8_t* cipherSide, int encrypt) override {
    return object_.Process(plainSide, size_t(length), cipherSide, encrypt != 0);
  }
  int AeadFinal(uint8_t* tag, int* length, int encrypt) override { return object_.Final(tag, length, encrypt != 0); }
};

template <class T>
std::unique_ptr<BlockCipher> Make() {
  return std::unique_ptr<BlockCipher>(new (std::nothrow) T());
}

}  // namespace

std::unique_ptr<BlockCipher> NewBlockCipher(int id) {
  switch (id) {
    case kAes: return Make<HeldAes>();
    case kDes: return Make<HeldBlock<DesCipher, kDes>>();
    case kTripleDes: return Make<HeldBlock<TripleDesCipher, kTripleDes>>();
    case kCast128: return Make<HeldBlock<Cast128Cipher, kCast128>>();
    case kBlowfish: return Make<HeldBlock<BlowfishCipher, kBlowfish>>();
    case kTwofish: return Make<HeldBlock<TwofishCipher, kTwofish>>();
    case kIdea: return Make<HeldBlock<IdeaCipher, kIdea>>();
    case kRc4: return Make<HeldRc4>();
    case kRc2: return Make<HeldBlock<Rc2Cipher, kRc2>>();
    case kTea: return Make<HeldBlock<TeaCipher, kTea>>();
    case kXtea: return Make<HeldBlock<XteaCipher, kXtea>>();
    case kXxtea: return Make<HeldXxtea>();
    case kAesGcm: return Make<HeldAesGcm>();
    case kRijndael: return Make<HeldRijndael>();
    case kChaCha20: return Make<HeldChaCha20>();
    case kChaCha20Poly1305: return Make<HeldChaChaPoly>();
    default: return nullptr;
  }
}

}  // namespace tornell
