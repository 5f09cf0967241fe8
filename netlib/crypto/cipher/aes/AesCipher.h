#pragma once
// AES algorithm object: owns a heap round-key array, made at the first key,
// and the round count. Before any key it runs on an all-zero schedule.
#include <cstdint>

namespace tornell {

class AesCipher {
 public:
  AesCipher();
  ~AesCipher();
  AesCipher(const AesCipher&) = delete;
  AesCipher& operator=(const AesCipher&) = delete;

  // keyLength in bytes (16, 24 or 32); encrypt is 1 or 0, mode a CipherMode
  // value. Builds the decryption schedule only when decrypting in a mode
  // other than OFB (3) or CFB (4). 200 when the array cannot be made.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength, int encrypt, int mode);

  // One 16-byte block; input and output may coincide.
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;

  // ECB over blockCount consecutive blocks, pipelined on AES-NI.
  [[nodiscard]] int EncryptBlocks(const unsigned char* input, unsigned char* output, int blockCount) const;
  [[nodiscard]] int DecryptBlocks(const unsigned char* input, unsigned char* output, int blockCount) const;

  // CBC encryption of blockCount blocks with the 16-byte chaining value,
  // which is left at the last ciphertext block.
  [[nodiscard]] int EncryptCbc(unsigned char* chain, const unsigned char* input, unsigned char* output, int blockCount) const;
  // CBC decryption, the same way round; input and output may coincide.
  [[nodiscard]] int DecryptCbc(unsigned char* chain, const unsigned char* input, unsigned char* output, int blockCount) const;
  // 200 when the array cannot be made.
  [[nodiscard]] int CopyFrom(const AesCipher& other);
  // Wipes the schedule and gives its array back: unkeyed again, as new.
  void Forget();

  int GetRounds() const { return rounds_; }

 private:
  // 2048 bytes: the big-endian word schedule in the first half, the same
  // round keys in block byte order for the AES instructions in the second.
  static constexpr int kArrayWords = 512;
  static constexpr int kSwappedOffset = 256;
  const unsigned char* Swapped() const;
  const uint32_t* Keys() const;
  [[nodiscard]] int Allocate();
  uint32_t* roundKeys_;  // null until the first key

  int rounds_;
};

}  // namespace tornell
