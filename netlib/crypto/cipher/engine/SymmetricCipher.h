#pragma once
// The one object through which the library uses a symmetric cipher: an
// algorithm by number or name, a mode, a padding, and data in pieces.
#include <cstdint>

#include "core/text/ByteString.h"
#include "crypto/cipher/aes/AesCipher.h"
#include "crypto/cipher/aead/AesGcm.h"
#include "crypto/cipher/block/BlowfishCipher.h"
#include "crypto/cipher/block/Cast128Cipher.h"
#include "crypto/cipher/stream/ChaCha20.h"
#include "crypto/cipher/aead/ChaCha20Poly1305.h"
#include "crypto/cipher/engine/CipherMode.h"
#include "crypto/cipher/engine/CipherPadding.h"
#include "crypto/cipher/block/DesCipher.h"
#include "crypto/cipher/block/IdeaCipher.h"
#include "crypto/cipher/block/Rc2Cipher.h"
#include "crypto/cipher/stream/Rc4Cipher.h"
#include "crypto/cipher/aes/RijndaelCipher.h"
#include "crypto/cipher/block/TeaCipher.h"
#include "crypto/cipher/block/TripleDesCipher.h"
#include "crypto/cipher/block/TwofishCipher.h"
#include "crypto/cipher/block/XteaCipher.h"
#include "crypto/cipher/block/XxteaCipher.h"

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

  int SetAlgorithm(int id);
  int SetAlgorithmByName(const char* name);
  int GetAlgorithm() const { return algorithm_; }
  int SetMode(int mode);
  int GetMode() const { return mode_; }
  int SetPadding(int padding);
  int GetPadding() const { return padding_; }
  int SetKeyBits(int bits);
  int GetKeyBits() const { return keyBits_; }
  int GetBlockBits() const { return blockBits_; }
  int SetKey(const char* key, int length);
  int GetKey(const char** key, int* length) const;
  int SetIV(const char* iv, int length);
  int SetTagBits(int bits);
  int SetTag(const char* tag, int length);
  int GetTag(char** tag, int* length);
  int SetAad(const char* aad, int length);

  int InitEncrypt();
  int InitDecrypt();
  int InitEncrypt(const char* key, int keyLength, const char* iv, int ivLength);
  int InitDecrypt(const char* key, int keyLength, const char* iv, int ivLength);

  int Update(const char* data, int offset, int& length, ByteString& out);
  int Final(const char* data, int offset, int length, ByteString& out);

  int CopyFrom(const SymmetricCipher& other);

 private:
  int Init(int direction);
  int KeyObject();
  int EnsureRegister();
  int BlockLength() const { return blockBits_ / 8; }
  int EncryptBlock(const uint8_t* in, uint8_t* out);
  int DecryptBlock(const uint8_t* in, uint8_t* out);
  int RunMode(const uint8_t* data, int length, ByteString& out);
  int Ecb(const uint8_t* data, int length, ByteString& out);
  int CbcEncrypt(const uint8_t* data, int length, ByteString& out);
  int CbcDecrypt(const uint8_t* data, int length, ByteString& out);
  int Cbc(const uint8_t* data, int length, ByteString& out);
  int Feedback(const uint8_t* data, int length, ByteString& out);
  int CtsUpdate(const uint8_t* data, int length, ByteString& out);
  int CtsFinal(const uint8_t* data, int length, ByteString& out);
  int StreamPath(const uint8_t* data, int length, ByteString& out, bool final);
  int StreamCipher(const uint8_t* data, int length, ByteString& out);
  int GcmPath(const uint8_t* data, int length, ByteString& out, bool final);
  int ChaChaPolyPath(const uint8_t* data, int length, ByteString& out, bool final);
  int AddPadding(ByteString& local, int length);
  int RemovePadding(ByteString& out);

  int algorithm_ = 0;
  int keyBits_ = 256;
  int blockBits_ = 128;
  int mode_ = CipherMode::CBC;
  int padding_ = CipherPadding::None;
  int direction_ = 1;
  int stream_ = 0;
  ByteString iv_;
  ByteString key_;
  ByteString chain_;
  int feedbackPos_ = 0;  // next unused register byte in OFB and CFB
  ByteString tag_;
  ByteString aad_;
  int tagBits_ = 0;

  AesCipher aes_;
  DesCipher des_;
  TripleDesCipher tripleDes_;
  Cast128Cipher cast128_;
  BlowfishCipher blowfish_;
  TwofishCipher twofish_;
  IdeaCipher idea_;
  Rc4Cipher rc4_;
  Rc2Cipher rc2_;
  TeaCipher tea_;
  XteaCipher xtea_;
  XxteaCipher xxtea_;
  AesGcm gcm_;
  RijndaelCipher rijndael_;
  ChaCha20 chacha_;
  ChaCha20Poly1305 chachaPoly_;

  uint8_t inBlock_[1024] = {};
  uint8_t outBlock_[1024] = {};
  ByteString pending_;
};

}  // namespace tornell
