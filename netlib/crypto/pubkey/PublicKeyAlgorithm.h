#pragma once
// The part every public-key engine shares: algorithm type, random source,
// key size with its range check, and the DER form SEQUENCE { INTEGER r,
// INTEGER s } of DSA and ECDSA signatures.
#include "core/text/ByteString.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

// A decoded signature: the INTEGER contents byte for byte as encoded.
struct SignaturePair {
  ByteString r;
  ByteString s;
};

class PublicKeyAlgorithm {
 public:
  static constexpr int kRsa = 0;
  static constexpr int kDsa = 1;
  static constexpr int kEc = 3;
  static constexpr int kBadKeySize = 1206;

  explicit PublicKeyAlgorithm(int algorithmType) : type(algorithmType) {}
  ~PublicKeyAlgorithm() = default;
  PublicKeyAlgorithm(const PublicKeyAlgorithm&) = delete;
  PublicKeyAlgorithm& operator=(const PublicKeyAlgorithm&) = delete;

  // 0 when `bits` is allowed for the type, else 1206.
  [[nodiscard]] int CheckKeySize(int bits) const;
  // CheckKeySize, then keyBits = bits on success.
  [[nodiscard]] int SetKeySize(int bits);
  // Random bytes for padding strings, salts, seeds and DSA nonces; always 0.
  int FillRandom(char* buffer, int offset, int length);

  // Rewrites an unsigned big-endian value into the content octets of a
  // positive DER INTEGER (shortest form, 0x00 in front of a top bit).
  [[nodiscard]] static int NormalizeDerInteger(ByteString& value);
  // Normalises r and s in place and replaces `out` with the SEQUENCE, every
  // length in its DER form.
  [[nodiscard]] static int EncodeDerSignature(ByteString& r, ByteString& s, ByteString& out);
  // 1 when data is exactly one DER SEQUENCE of two non-negative, minimally
  // encoded INTEGERs (then in out, as encoded), else 0: long or indefinite
  // lengths where DER forbids them, extra or missing sign bytes and bytes
  // after the SEQUENCE make a signature invalid. Reads nothing outside
  // data[0, length).
  [[nodiscard]] static int DecodeDerSignature(const char* data, int length, SignaturePair& out);

  int type;
  RandomSource random;
  int keyBits = 1024;
};

}  // namespace tornell
