// The check of a decrypted CBC record with the whole plaintext (data, MAC and
// padding) and the MAC key secret: good and bad padding of every size, a bad
// MAC, for each MAC hash.
#include <cstring>
#include <initializer_list>

#include "SecretProbe.h"
#include "core/text/ByteString.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/mac/Hmac.h"
#include "tls/record/CbcRecordCheck.h"

using namespace tornell;
using probe::Reveal;

namespace {

constexpr int kDataLength = 100;

// 0 when the check's revealed verdict is the expected one.
int OneRecord(int hashId, int macLength, int version, int padding, int corrupt) {
  uint8_t plain[kDataLength + 64 + 256];
  for (int i = 0; i < kDataLength; ++i) plain[i] = uint8_t(i * 31 + 7);
  ByteString key;
  if (key.Set("0123456789abcdef0123456789abcdef0123456789abcdef", macLength) != 0) return 1;
  CbcRecordHeader header;
  header.sequence = 3;
  header.type = 23;
  header.version = version;
  uint8_t input[13 + kDataLength];
  for (int i = 0; i < 8; ++i) input[i] = uint8_t(header.sequence >> (56 - 8 * i));
  input[8] = 23;
  input[9] = uint8_t(version >> 8);
  input[10] = uint8_t(version);
  input[11] = 0;
  input[12] = kDataLength;
  std::memcpy(input + 13, plain, kDataLength);
  Hmac hmac;
  ByteString mac;
  if (hmac.Init(hashId, key.Data(), key.Length()) != 0 || hmac.Mac(reinterpret_cast<char*>(input), 13 + kDataLength, mac) != 0) {
    return 1;
  }
  std::memcpy(plain + kDataLength, mac.Data(), size_t(macLength));
  const int length = kDataLength + macLength + padding + 1;
  std::memset(plain + kDataLength + macLength, padding, size_t(padding + 1));
  if (corrupt == 1) plain[length - 2] ^= 1;             // a padding byte
  if (corrupt == 2) plain[kDataLength + 3] ^= 1;        // the MAC
  probe::MarkSecret(plain, size_t(length));
  probe::MarkSecret(key.Data(), size_t(key.Length()));
  CbcCheckResult result;
  int st = CbcRecordCheck::Check(hashId, key, header, plain, length, macLength, result);
  Reveal(&st, sizeof st);
  Reveal(&result, sizeof result);
  const bool wantGood = corrupt == 0;
  if (st != 0) return 1;
  if ((result.good != 0) != wantGood) return 1;
  return wantGood && result.dataLength != kDataLength ? 1 : 0;
}

int RunHash(int hashId, int macLength) {
  int failures = 0;
  for (int padding : {0, 1, 15, 200, 255}) {
    failures += OneRecord(hashId, macLength, 0x0303, padding, 0);
    if (padding > 0) failures += OneRecord(hashId, macLength, 0x0303, padding, 1);
    failures += OneRecord(hashId, macLength, 0x0303, padding, 2);
  }
  return failures;
}

int Sha1() { return RunHash(HashAlgorithm::kSha1, 20); }
int Sha256() { return RunHash(HashAlgorithm::kSha256, 32); }
int Sha384() { return RunHash(HashAlgorithm::kSha384, 48); }

// SSL 3.0: no padding bytes checked, an MD5 MAC; the verdict is not compared.
int Ssl3Md5() {
  uint8_t plain[64];
  for (int i = 0; i < 64; ++i) plain[i] = uint8_t(i);
  plain[63] = 7;
  ByteString key;
  if (key.Set("0123456789abcdef", 16) != 0) return 1;
  probe::MarkSecret(plain, sizeof plain);
  probe::MarkSecret(key.Data(), size_t(key.Length()));
  CbcRecordHeader header;
  header.version = 0x0300;
  CbcCheckResult result;
  int st = CbcRecordCheck::Check(HashAlgorithm::kMd5, key, header, plain, 64, 16, result);
  Reveal(&st, sizeof st);
  return st != 0;
}

const probe::Case kCases[] = {
    {"CBC record, HMAC-SHA1", Sha1},
    {"CBC record, HMAC-SHA256", Sha256},
    {"CBC record, HMAC-SHA384", Sha384},
    {"CBC record, SSL 3.0 MD5", Ssl3Md5},
};

}  // namespace

PROBE_MAIN(kCases)
