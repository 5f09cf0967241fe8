#pragma once
// RSA key material: eight unsigned big-endian values, empty when absent.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/pubkey/AsymmetricKey.h"

namespace tornell {

class RsaKey : public AsymmetricKey {
 public:
  RsaKey() : AsymmetricKey(kRsa) {}
  ~RsaKey() override = default;

  // Empties every field; always 0.
  int Clear();
  // Copies every field; stops at the first error.
  [[nodiscard]] int CopyFrom(const RsaKey& other);
  // Brings n and d to L bytes and the prime-sized values to L/2, L being the
  // stored length of n rounded to a multiple of 8. Only zero bytes are ever
  // dropped: a field that would lose a significant byte is left as it is.
  [[nodiscard]] int NormalizeLengths();

  ByteString e;
  ByteString n;
  // The private values wipe themselves.
  SecretBytes p;
  SecretBytes q;
  SecretBytes dP;
  SecretBytes dQ;
  SecretBytes qInv;
  SecretBytes d;
};

}  // namespace tornell
