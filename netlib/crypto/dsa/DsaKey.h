#pragma once
// DSA domain parameters and key values as unsigned big-endian strings; empty
// means absent. J, auxBytes and auxInt belong to the key records that carry
// them and are only stored, copied and cleared here.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/pubkey/AsymmetricKey.h"

namespace tornell {

class DsaKey : public AsymmetricKey {
 public:
  DsaKey() : AsymmetricKey(kDsa) {}
  ~DsaKey() override = default;

  int Clear();
  [[nodiscard]] int CopyFrom(const DsaKey& other);
  // p, g and y to the width of p, q and x to the width of q; only leading
  // zero bytes are ever dropped.
  [[nodiscard]] int NormalizeLengths();

  ByteString p;
  ByteString q;
  ByteString g;
  ByteString y;
  ByteString J;
  SecretBytes x;  // private
  ByteString auxBytes;
  int auxInt = 0;
};

}  // namespace tornell
