#pragma once
// Rijndael algorithm object: heap round-key array, round count and the
// block length given at keying.
#include <cstdint>

namespace tornell {

class RijndaelCipher {
 public:
  RijndaelCipher();
  ~RijndaelCipher();
  RijndaelCipher(const RijndaelCipher&) = delete;
  RijndaelCipher& operator=(const RijndaelCipher&) = delete;

  // Lengths in bytes (16, 24 or 32). 200 when the array is missing.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength, int blockLength, int encrypt, int mode);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const RijndaelCipher& other);

  int GetRounds() const { return rounds_; }
  int GetBlockLength() const { return blockLength_; }

 private:
  static constexpr int kArrayWords = 512;  // 2048 bytes
  uint32_t* roundKeys_;
  int rounds_;
  int blockLength_;
};

}  // namespace tornell
