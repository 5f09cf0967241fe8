#pragma once
// ChaCha20 stream cipher (20 rounds, 64-byte blocks, 32-bit block counter).
#include <cstddef>
#include <cstdint>

namespace tornell {

struct ChaCha20 {
  uint32_t input[16] = {};
  uint32_t working[16] = {};
  uint8_t keystream[64] = {};
  int32_t position = 0;
  int64_t initialCounter = 0;

  static constexpr int kBadNonce = 3000;
  static constexpr int kBadKey = 3001;

  ChaCha20() = default;
  ~ChaCha20();
  ChaCha20(const ChaCha20&) = delete;
  ChaCha20& operator=(const ChaCha20&) = delete;
  // Wipes the key, the state and any unused keystream.
  void Reset();
  [[nodiscard]] int SetKey(const uint8_t* key, int keyLength, const uint8_t* nonce, int nonceLength, int64_t counter);
  // XORs keystream into output; input and output may be the same buffer.
  [[nodiscard]] int Encrypt(const uint8_t* input, size_t length, uint8_t* output);
  [[nodiscard]] int Decrypt(const uint8_t* input, size_t length, uint8_t* output) { return Encrypt(input, length, output); }
  int64_t GetCounter() const { return initialCounter; }
  void SetCounter(int64_t counter) { initialCounter = counter; }
  [[nodiscard]] int CopyFrom(const ChaCha20& other);

 private:
  void NextBlock();
};

}  // namespace tornell
