// SHA-384 and SHA-512 over secret messages long enough for the vector path's
// groups of four blocks (and the groups after them): the digest code may not
// branch on or index memory by the message. Each digest is compared, in
// constant time, with the portable code's digest of the same bytes; only the
// verdict comes out.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SecretProbe.h"
#include "core/cpu/CpuFeatures.h"
#include "core/secure/ConstantTime.h"
#include "crypto/digest/hash/Sha512Digest.h"

using namespace tornell;

namespace {

template <class Digest>
std::string DigestOf(const char* message, int length) {
  Digest d;
  d.Update(message, length / 3);
  d.Update(message + length / 3, length - length / 3);
  return std::string(reinterpret_cast<const char*>(d.Final()), Digest::kDigestBytes);
}

template <class Digest>
int CheckLengths(uint32_t path) {
  int failures = 0;
  // One block, a group with a tail, two groups, and several with a tail.
  for (int length : {100, 4 * 128 + 77, 8 * 128, 13 * 128 + 5}) {
    char message[13 * 128 + 5];
    for (int i = 0; i < length; ++i) message[i] = char(i * 29 + 11);
    std::string expected;
    {
      cpu::ScopedRestrict portable(0);
      expected = DigestOf<Digest>(message, length);
    }
    probe::MarkSecret(message, sizeof message);
    cpu::ScopedRestrict restrict(path);
    std::string got = DigestOf<Digest>(message, length);
    failures += probe::Revealed(ct::BytesEqualMask(got.data(), expected.data(), got.size())) != 0xFF;
    probe::Reveal(message, sizeof message);
  }
  return failures;
}

int VectorPath() {
  return CheckLengths<Sha512Digest>(cpu::path::kSha512Avx2) + CheckLengths<Sha384Digest>(cpu::path::kSha512Avx2);
}

int PortablePath() { return CheckLengths<Sha512Digest>(0); }

const probe::Case kCases[] = {{"sha-512 vector path", VectorPath}, {"sha-512 portable path", PortablePath}};

}  // namespace

// Without the vector path there is nothing to probe: skipped (77), or failed
// under CI.
int main(int argc, char** argv) {
  if (!cpu::Has(cpu::path::kSha512Avx2)) {
    std::printf("skipped: the processor (as memcheck presents it) lacks AVX2 and BMI2\n");
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0 ? 1 : 77;
  }
  return probe::RunCases(kCases, sizeof kCases / sizeof kCases[0], argc, argv);
}
