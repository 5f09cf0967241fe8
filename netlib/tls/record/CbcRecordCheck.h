#pragma once
// The check of a decrypted CBC record (padding and MAC) in constant time: the
// padding is examined over its largest span, the MAC is computed over the same
// number of hash blocks whatever the padding says, and the received MAC is
// read from every position it could hold. Nothing branches on or indexes by a
// byte of the record.
#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell {

struct CbcRecordHeader {
  uint64_t sequence = 0;
  int type = 0;
  int version = 0;  // 0x0300: the SSL 3.0 MAC and no padding-byte check
};

struct CbcCheckResult {
  uint32_t good = 0;         // all ones: padding and MAC are right
  uint32_t paddingGood = 0;  // all ones: the padding alone is right
  uint32_t dataLength = 0;   // the data bytes at the start of the record, when good
};

class CbcRecordCheck {
 public:
  static constexpr int kMaxPaddingSpan = 256;
  static constexpr int kStatusUnsupportedMac = 2001;  // a MAC hash the check does not know
  static constexpr int kStatusBadLength = 2002;       // fewer bytes than a MAC and the padding byte

  // `plain` is the decrypted record after any explicit IV: data, MAC,
  // padding, padding length. hashId is the MAC's digest number (MD5, SHA-1,
  // SHA-256, SHA-384).
  [[nodiscard]] static int Check(int hashId, const ByteString& macSecret, const CbcRecordHeader& header,
                                 const uint8_t* plain, int length, int macLength, CbcCheckResult& result);
};

}  // namespace tornell
