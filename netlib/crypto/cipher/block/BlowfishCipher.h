#pragma once
// Blowfish algorithm object with the bcrypt state expansion. The S-boxes
// are key-dependent lookup tables, as the cipher defines them.
#include <cstdint>

namespace tornell {

class ByteString;

class BlowfishCipher {
 public:
  // A key (or bcrypt input) of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  BlowfishCipher();
  ~BlowfishCipher();
  BlowfishCipher(const BlowfishCipher&) = delete;
  BlowfishCipher& operator=(const BlowfishCipher&) = delete;

  // 200 when an S-box array is missing; 1 for an empty key.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const BlowfishCipher& other);

  // The bcrypt_hash step of bcrypt_pbkdf: replaces this object's key state
  // and sets output to the 32-byte result. 200 on a missing array or when
  // output cannot be sized; 1 for an empty password or salt.
  [[nodiscard]] int BcryptHash(const unsigned char* password, int passwordLength, const unsigned char* salt,
                 int saltLength, ByteString& output);

 private:
  bool HasTables() const;
  void LoadInitialState();
  void ExpandState(const unsigned char* key, int keyLength, const unsigned char* salt,
                   int saltLength);
  void Encipher(uint32_t& left, uint32_t& right) const;

  uint32_t p_[18];
  uint32_t* s_[4];
};

}  // namespace tornell
