#pragma once
// CAST-128 algorithm object: 12 rounds for keys up to 10 bytes, else 16.
// The S-box lookups are data-indexed, as the cipher defines them.
#include <cstdint>

namespace tornell {

class Cast128Cipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  Cast128Cipher();
  // 5 to 16 bytes; longer keys are refused with 1 (the buffer holds 16).
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength);
  [[nodiscard]] int EncryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int DecryptBlock(const unsigned char* input, unsigned char* output) const;
  [[nodiscard]] int CopyFrom(const Cast128Cipher& other);
  int GetRounds() const { return rounds_; }

 private:
  void Crypt(const unsigned char* input, unsigned char* output, bool forward) const;

  uint64_t masking_[16];
  unsigned char rotation_[16];
  int rounds_;
};

}  // namespace tornell
