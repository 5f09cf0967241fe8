#pragma once
// What the cipher engine asks of an algorithm object: keying for one
// direction, then blocks (the block modes), a keystream (RC4, ChaCha20) or an
// authenticated stream with a tag (AES-GCM, ChaCha20-Poly1305). An algorithm
// answers only the operations it has; the rest fail with the engine's
// unknown-algorithm status. The engine holds one of these: the algorithm it
// has selected.
#include <cstdint>
#include <memory>

namespace tornell {

// Everything an Init hands to the selected algorithm.
struct CipherKeying {
  const uint8_t* key = nullptr;
  int keyLength = 0;
  const uint8_t* iv = nullptr;
  int ivLength = 0;
  const uint8_t* aad = nullptr;
  int aadLength = 0;
  int encrypt = 1;      // the direction rule of the objects: 1 encrypt, 0 decrypt
  int mode = 0;         // a CipherMode value
  int blockLength = 0;  // bytes; Rijndael and XXTEA run with the engine's
};

class BlockCipher {
 public:
  virtual ~BlockCipher() = default;

  // The engine's algorithm id of this object.
  [[nodiscard]] virtual int Id() const = 0;
  [[nodiscard]] virtual int SetKey(const CipherKeying& keying) = 0;

  // One block of the length given at keying; input and output may coincide.
  [[nodiscard]] virtual int EncryptBlock(const uint8_t* input, uint8_t* output);
  [[nodiscard]] virtual int DecryptBlock(const uint8_t* input, uint8_t* output);
  // Whole runs of blocks at once (AES, which pipelines them); without them
  // the engine goes block by block.
  virtual bool HasBulkBlocks() const { return false; }
  // Decryption of consecutive independent blocks.
  [[nodiscard]] virtual int DecryptBlocks(const uint8_t* input, uint8_t* output, int blocks, int blockLength);
  // CBC encryption of whole blocks with the chaining register (left at the
  // last ciphertext block).
  [[nodiscard]] virtual int EncryptCbc(uint8_t* chain, const uint8_t* input, uint8_t* output, int blocks,
                                       int blockLength);
  // CBC decryption of whole blocks (in place too), the register left at the
  // last ciphertext block.
  [[nodiscard]] virtual int DecryptCbc(uint8_t* chain, const uint8_t* input, uint8_t* output, int blocks,
                                       int blockLength);

  // Keystream algorithms: XORs the next length bytes of keystream.
  [[nodiscard]] virtual int Stream(const uint8_t* input, int length, uint8_t* output, int encrypt);

  // Authenticated algorithms: encrypting reads plainSide and writes
  // cipherSide, decrypting the reverse; the tag covers the cipher side.
  [[nodiscard]] virtual int AeadUpdate(uint8_t* plainSide, int length, uint8_t* cipherSide, int encrypt);
  // Encrypting writes the tag and sets *length to its size; verifying
  // compares *length bytes.
  [[nodiscard]] virtual int AeadFinal(uint8_t* tag, int* length, int encrypt);

  // Copies the keyed state of an object of the same algorithm.
  [[nodiscard]] virtual int CopyFrom(const BlockCipher& other) = 0;
};

// A fresh, unkeyed object for an algorithm id (0 to 15); null for other ids
// or when it cannot be allocated.
std::unique_ptr<BlockCipher> NewBlockCipher(int id);

}  // namespace tornell
