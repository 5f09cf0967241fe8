#pragma once
// The TLS and SSL key expansions: P_hash, the TLS 1.2 PRF with SHA-256 and
// SHA-384, the TLS 1.0/1.1 PRF (P_MD5 XOR P_SHA-1) and the SSL 3.0 key block.
// The TLS forms take the label already joined to the seed.
#include "core/text/ByteString.h"
#include "crypto/digest/mac/Hmac.h"

namespace tornell {

class TlsPrf {
 public:
  // The SSL 3.0 labels run A, BB, CCC ... up to this many passes of 16 bytes.
  static constexpr int kSsl3MaxPasses = 100;

  // These four append to `out` and then cut it to `length` (callers pass it
  // empty); Tls10Prf replaces the content of `out`.
  [[nodiscard]] static int Tls12PrfSha256(const ByteString& secret, const ByteString& seed, int length,
                            ByteString& out);
  [[nodiscard]] static int Tls12PrfSha384(const ByteString& secret, const ByteString& seed, int length,
                            ByteString& out);
  [[nodiscard]] static int Tls10Prf(const ByteString& secret, const ByteString& seed, int length,
                      ByteString& out);
  // 2002 for more than kSsl3MaxPasses × 16 bytes.
  [[nodiscard]] static int Ssl3KeyBlock(const ByteString& secret, const ByteString& seed, int length,
                          ByteString& out);
  // P_hash with `mac` already holding its digest number and the secret.
  [[nodiscard]] static int PHash(Hmac& mac, const ByteString& seed, int length, ByteString& out);
};

}  // namespace tornell
