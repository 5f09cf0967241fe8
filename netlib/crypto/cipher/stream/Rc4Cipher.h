#pragma once
// RC4 stream object: the permutation on the heap, and i and j, which
// persist across calls so a message may be processed in pieces.
#include <cstdint>

namespace tornell {

class Rc4Cipher {
 public:
  // A key of a length this object cannot take; nothing changed.
  static constexpr int kBadKeyLength = 1;
  Rc4Cipher();
  ~Rc4Cipher();
  Rc4Cipher(const Rc4Cipher&) = delete;
  Rc4Cipher& operator=(const Rc4Cipher&) = delete;

  // 200 when the array is missing; 1 for an empty key.
  [[nodiscard]] int SetKey(const unsigned char* key, int keyLength);
  // XORs the keystream into input; output may be the same buffer.
  [[nodiscard]] int Encrypt(const unsigned char* input, int length, unsigned char* output);
  [[nodiscard]] int Decrypt(const unsigned char* input, int length, unsigned char* output);
  [[nodiscard]] int CopyFrom(const Rc4Cipher& other);

 private:
  uint32_t* state_;
  int i_;
  int j_;
};

}  // namespace tornell
