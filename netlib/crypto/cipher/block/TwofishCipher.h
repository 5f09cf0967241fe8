#pragma once
// Twofish algorithm object (full keying: the key-dependent S-boxes merged
// with the MDS matrix into four heap tables). Those tables are indexed by
// data, as the cipher's fast form requires.
#include <cstdint>

namespace tornell {

class TwofishCipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  TwofishCipher();
  ~TwofishCipher();
  TwofishCipher(const TwofishCipher&) = delete;
  TwofishCipher& operator=(const TwofishCipher&) = delete;

  // Keys of 16 to 32 bytes; keyLength / 8 whole 8-byte pieces are used.
  // 200 when the table block is missing; 1 for other lengths.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const TwofishCipher& other);

 private:
  uint32_t G(uint32_t x) const;

  uint32_t subkeys_[40];
  uint32_t* tables_;  // 4 x 256
};

}  // namespace tornell
