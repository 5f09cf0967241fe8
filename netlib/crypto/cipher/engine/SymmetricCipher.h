#pragma once
// The one object through which the library uses a symmetric cipher: an
// algorithm by number or name, a mode, a padding, and data in pieces.
#include <cstdint>
#include <memory>

#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/cipher/engine/BlockCipher.h"
#include "crypto/cipher/engine/CipherMode.h"
#include "crypto/cipher/engine/CipherPadding.h"

namespace tornell {

class SymmetricCipher {
 public:
  static constexpr int kUnknownAlgorithm = 2001;
  static constexpr int kUnknownMode = 2002;
  static constexpr int kPartialBlock = 2003;
  static constexpr int kBadPadding = 2004;
  static constexpr int kBadKeySize = 2005;
  static constexpr int kBadIvSize = 2006;
  static constexpr int kCtsTooShort = 2007;
  static constexpr int kNoTag = 2008;
  static constexpr int kBadTagSize = 2009;
  static constexpr int kAuthFailed = 2010;
  static constexpr int kCounterSpent = 2011;

  SymmetricCipher();
  ~SymmetricCipher() = default;
  SymmetricCipher(const SymmetricCipher&) = delete;
  SymmetricCipher& operator=(const SymmetricCipher&) = delete;

  [[nodiscard]] int SetAlgorithm(int id);
  [[nodiscard]] int SetAlgorithmByName(const char* name);
  int GetAlgorithm() const { return algorithm_; }
  [[nodiscard]] int SetMode(int mode);
  int GetMode() const { return mode_; }
  [[nodiscard]] int SetPadding(int padding);
  int GetPadding() const { return padding_; }
  [[nodiscard]] int SetKeyBits(int bits);
  int GetKeyBits() const { return keyBits_; }
  int GetBlockBits() const { return blockBits_; }
  [[nodiscard]] int SetKey(const char* key, int length);
  [[nodiscard]] int GetKey(const char** key, int* length) const;
  [[nodiscard]] int SetIV(const char* iv, int length);
  [[nodiscard]] int SetTagBits(int bits);
  [[nodiscard]] int SetTag(const char* tag, int length);
  [[nodiscard]] int GetTag(char** tag, int* length);
  [[nodiscard]] int SetAad(const char* aad, int length);

  [[nodiscard]] int InitEncrypt();
  [[nodiscard]] int InitDecrypt();
  [[nodiscard]] int InitEncrypt(const char* key, int keyLength, const char* iv, int ivLength);
  [[nodiscard]] int InitDecrypt(const char* key, int keyLength, const char* iv, int ivLength);

  [[nodiscard]] int Update(const char* data, int offset, int& length, ByteString& out);
  [[nodiscard]] int Final(const char* data, int offset, int length, ByteString& out);

  [[nodiscard]] int CopyFrom(const SymmetricCipher& other);

 private:
  [[nodiscard]] BlockCipher* Selected();
  [[nodiscard]] int Init(int direction);
  [[nodiscard]] int KeyObject();
  [[nodiscard]] int EnsureRegister();
  int BlockLength() const { return blockBits_ / 8; }
  bool HoldsNothing() const {
    return cipher_ == nullptr && key_.IsEmpty() && iv_.IsEmpty() && chain_.IsEmpty() && pending_.IsEmpty();
  }
  [[nodiscard]] int RunMode(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int Ecb(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int CbcEncrypt(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int CbcDecrypt(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int Cbc(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int Feedback(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int CtsUpdate(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int CtsFinal(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int StreamPath(const uint8_t* data, int length, ByteString& out, bool final);
  [[nodiscard]] int StreamCipher(const uint8_t* data, int length, ByteString& out);
  [[nodiscard]] int GcmPath(const uint8_t* data, int length, ByteString& out, bool final);
  [[nodiscard]] int ChaChaPolyPath(const uint8_t* data, int length, ByteString& out, bool final);
  [[nodiscard]] int AddPadding(ByteString& local, int length);
  [[nodiscard]] int RemovePadding(ByteString& out);
  [[nodiscard]] int RemovePkcs7(ByteString& out);
  [[nodiscard]] int RefuseMessage(ByteString& out);

  int algorithm_ = 0;
  int keyBits_ = 256;
  int blockBits_ = 128;
  int mode_ = CipherMode::CBC;
  int padding_ = CipherPadding::None;
  int direction_ = 1;
  int stream_ = 0;
  ByteString iv_;
  SecretBytes key_;
  ByteString chain_;
  int feedbackPos_ = 0;  // next unused register byte in OFB and CFB
  ByteString tag_;
  ByteString aad_;
  int tagBits_ = 0;

  // The selected algorithm's object, made at the first Init after the
  // algorithm changes (or at a data call before any Init).
  std::unique_ptr<BlockCipher> cipher_;

  // Scratch for one block, written before every read: left uninitialised, as
  // zeroing 2 KiB would be most of the cost of making a cipher object.
  uint8_t inBlock_[1024];
  uint8_t outBlock_[1024];
  ByteString pending_;
};

}  // namespace tornell
