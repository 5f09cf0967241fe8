#pragma once
// Edwards-curve signatures: Ed25519, Ed25519ctx, Ed25519ph, Ed448 and Ed448ph,
// public keys from seeds, key generation, the key-pair check, and an
// Ed448-based scheme hashed with SHA-512. Verify operations return 1 for a
// valid signature and 0 otherwise unless a status is named.
#include "core/text/ByteString.h"

namespace tornell {

constexpr int kEdDsaKeyLength = 0x81000;        // key or seed of the wrong length (or not a pair)
constexpr int kEdDsaPublicKeyLength = 0x81001;  // verification public key not 32 bytes
constexpr int kEdDsaLongKeyLength = 0x81002;    // 144-byte key of the wrong length
constexpr int kEdDsaSignatureLength = 0x81003;  // signature of the wrong length
constexpr int kEdDsaPrehashLength = 0x81004;    // prehashed input not 64 bytes
constexpr int kEdDsaContextLength = 0x81005;    // context too long (or empty for Ed25519ctx)
constexpr int kEdDsaScalarRange = 0x81006;      // secret scalar out of range

class EdDsa {
 public:
  using Bytes = const unsigned char*;

  [[nodiscard]] static int SignEd25519(Bytes msg, int len, Bytes pub, int pubLen, Bytes seed, int seedLen,
                                       ByteString& out);
  [[nodiscard]] static int SignEd25519ctx(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes seed,
                                          int seedLen, ByteString& out);
  [[nodiscard]] static int SignEd25519ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub,
                                         int pubLen, Bytes seed, int seedLen, ByteString& out);
  [[nodiscard]] static int VerifyEd25519(Bytes msg, int len, Bytes pub, int pubLen, Bytes sig, int sigLen);
  [[nodiscard]] static int VerifyEd25519ctx(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes sig,
                                            int sigLen);
  [[nodiscard]] static int VerifyEd25519ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub,
                                           int pubLen, Bytes sig, int sigLen);

  [[nodiscard]] static int SignEd448(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes seed,
                                     int seedLen, ByteString& out);
  [[nodiscard]] static int SignEd448ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub, int pubLen,
                                       Bytes seed, int seedLen, ByteString& out);
  [[nodiscard]] static int VerifyEd448(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes sig,
                                       int sigLen);
  [[nodiscard]] static int VerifyEd448ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub,
                                         int pubLen, Bytes sig, int sigLen);

  [[nodiscard]] static int Ed25519PublicFromSeed(Bytes seed, int seedLen, ByteString& out);
  [[nodiscard]] static int Ed448PublicFromSeed(Bytes seed, int seedLen, ByteString& out);
  [[nodiscard]] static int PublicFromSeed(Bytes seed, int seedLen, ByteString& out);
  [[nodiscard]] static int GenerateEd25519(ByteString& pub, ByteString& seed);
  [[nodiscard]] static int GenerateEd448(ByteString& pub, ByteString& seed);
  [[nodiscard]] static int CheckKeyPair(Bytes pub, int pubLen, Bytes seed, int seedLen, int full);

  [[nodiscard]] static int DeriveEd448Sha512Key(Bytes seed, int seedLen, ByteString& out);
  [[nodiscard]] static int Ed448Sha512PublicKey(Bytes key, int keyLen, ByteString& out);
  [[nodiscard]] static int SignEd448Sha512(Bytes msg, int len, Bytes key, int keyLen, ByteString& out);
  [[nodiscard]] static int VerifyEd448Sha512(Bytes msg, int len, Bytes pub, int pubLen, Bytes sig, int sigLen);
};

}  // namespace tornell
