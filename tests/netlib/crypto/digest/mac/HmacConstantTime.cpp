// HMAC verification with the key, the message and the expected tag secret:
// computing the MAC and comparing it with the tag may not branch on or index
// memory by any of them; only the verdict comes out. Runs on every digest
// path the processor (as memcheck presents it) has, and on the portable code.
#include <cstring>

#include "SecretProbe.h"
#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/mac/Hmac.h"

using namespace tornell;

namespace {

int VerifyOnce(int id) {
  char key[40], message[200], expected[64];
  for (int i = 0; i < 40; ++i) key[i] = char(i * 7 + 3);
  for (int i = 0; i < 200; ++i) message[i] = char(i * 13 + 1);
  Hmac reference;
  if (reference.Init(id, key, sizeof key) != 0 || reference.Update(message, sizeof message) != 0 ||
      reference.Final() != 0)
    return 1;
  const int n = reference.GetMacLength();
  std::memcpy(expected, reference.GetMac(), size_t(n));

  probe::MarkSecret(key, sizeof key);
  probe::MarkSecret(message, sizeof message);
  probe::MarkSecret(expected, sizeof expected);
  Hmac mac;
  int st = mac.Init(id, key, sizeof key);
  st |= mac.Update(message, 70);
  st |= mac.Update(message + 70, sizeof message - 70);
  st |= mac.Final();
  const uint8_t match = probe::Revealed(ct::BytesEqualMask(mac.GetMac(), expected, size_t(n)));
  expected[n - 1] ^= 1;
  const uint8_t forged = probe::Revealed(ct::BytesEqualMask(mac.GetMac(), expected, size_t(n)));
  return (probe::Revealed(st) != 0) + (match != 0xFF) + (forged != 0);
}

int EveryPath() {
  int failures = 0;
  for (uint32_t path : {cpu::Detected(), 0u}) {
    cpu::ScopedRestrict restrict(path);
    for (int id : {HashAlgorithm::kSha1, HashAlgorithm::kSha256, HashAlgorithm::kSha384, HashAlgorithm::kSha512})
      failures += VerifyOnce(id);
  }
  return failures;
}

const probe::Case kCases[] = {{"hmac verification", EveryPath}};

}  // namespace

PROBE_MAIN(kCases)
