#pragma once
// AES in Galois/Counter Mode: IV, AAD and data phases, truncated tags and a
// budget of counter blocks per key. GHASH runs on carry-less multiply when
// the processor has it (with AES-NI for the counter mode), otherwise on
// Shoup's 4-bit tables read without secret-dependent indexing.
#include <cstddef>
#include <cstdint>

#include "crypto/cipher/aes/AesCipher.h"

namespace tornell {

struct AesGcm {
  AesCipher aes;
  uint8_t x[16] = {};
  uint8_t counter[16] = {};
  uint8_t j0[16] = {};
  uint8_t work[16] = {};
  int count = 0;
  int phase = 0;
  uint64_t aadLength = 0;
  uint64_t cipherLength = 0;
  uint64_t hl[16] = {};
  uint64_t hh[16] = {};
  uint8_t twelveByteIv = 1;
  uint32_t budget = 0;
  // Processor-instruction path: chosen at SetKey; round keys in AES-NI byte
  // order and H^1..H^16 byte-reversed for aggregated GHASH.
  bool fast = false;
  bool wide = false;  // sixteen blocks at a time on VAES and VPCLMULQDQ
  bool wide256 = false;  // the same on 256-bit vectors (no AVX-512)
  int rounds = 0;
  alignas(16) uint8_t roundKeys[15 * 16] = {};
  alignas(16) uint8_t hPowers[16 * 16] = {};
  // 16-byte alignment only: the wide loops load it unaligned once per call,
  // and the suites embedding this state must not need over-aligned storage.
  alignas(16) uint8_t hWide[16 * 16] = {};
  bool keyed = false;  // the tables or schedules may hold key material
  int powers = 0;      // H^1 .. H^powers are in hPowers
  bool wideReady = false;  // hWide holds them too

  static constexpr int kTagMismatch = 1000;
  static constexpr int kBudgetSpent = 1001;
  static constexpr int kWrongPhase = -1;
  // An empty IV: the cipher engine's bad-IV-size status, passed through.
  static constexpr int kBadIvSize = 2006;
  AesGcm() = default;
  ~AesGcm();
  AesGcm(const AesGcm&) = delete;
  AesGcm& operator=(const AesGcm&) = delete;
  static constexpr int kMinVerifyTag = 12;

  [[nodiscard]] int SetKey(const uint8_t* key, int keyLength);
  // A new message under the same key: what SetKey leaves, without keying again.
  void Restart();
  // Wipes the key and the message in progress; SetKey is needed again.
  void Forget();
  [[nodiscard]] int SetIV(const uint8_t* iv, uint64_t length);
  [[nodiscard]] int AddAad(const uint8_t* aad, uint64_t length);
  // Encrypting reads plaintext and writes ciphertext; decrypting the reverse.
  [[nodiscard]] int Update(uint8_t* plaintext, uint64_t length, uint8_t* ciphertext, bool encrypt);
  // Encrypting writes min(16, *length) tag bytes; verifying refuses tags
  // shorter than 12 bytes and compares in constant time.
  [[nodiscard]] int Finish(uint8_t* tag, int* length, int encrypt);
  [[nodiscard]] int EncryptAndTag(const uint8_t* iv, uint64_t ivLength, const uint8_t* aad, uint64_t aadLen,
                    const uint8_t* plaintext, uint64_t length, uint8_t* ciphertext, uint8_t* tag,
                    int* tagLength);
  [[nodiscard]] int DecryptAndVerify(const uint8_t* iv, uint64_t ivLength, const uint8_t* aad, uint64_t aadLen,
                       const uint8_t* ciphertext, uint64_t length, const uint8_t* tag, int tagLength,
                       uint8_t* plaintext);
  [[nodiscard]] int CopyFrom(const AesGcm& other);

  void MultiplyH(uint8_t* value) const;
  [[nodiscard]] int IncrementCounter();

 private:
  [[nodiscard]] int EncryptBlock(const uint8_t* in, uint8_t* out) const;
  void WipeKey();
  void BuildTables(const uint8_t* h);
  void NeedPowers(int want);
  void NeedWide();
  uint64_t HashBlocks(const uint8_t* data, uint64_t blocks);
  [[nodiscard]] int EndIvPhase();
  [[nodiscard]] int EndAadPhase();
  [[nodiscard]] int NextKeystream();
  [[nodiscard]] int CloseDataBlock();
  [[nodiscard]] int BulkBlocks(const uint8_t* in, uint8_t* out, uint64_t blocks, bool encrypt);
};

}  // namespace tornell
