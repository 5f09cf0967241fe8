// A probe with a branch on a secret, planted on purpose: memcheck must report
// it, or the constant-time probes prove nothing.
#include "SecretProbe.h"

namespace {

__attribute__((noinline)) void Count(int& ones) { ones += 1; }

int PlantedBranch() {
  volatile unsigned char secret[16] = {1, 2, 3};
  probe::MarkSecret(const_cast<unsigned char*>(secret), sizeof secret);
  int ones = 0;
  for (unsigned char byte : secret)
    if (byte & 1) Count(ones);  // the fault
  return probe::Revealed(ones) < 0;
}

const probe::Case kCases[] = {{"planted secret-dependent branch", PlantedBranch}};

}  // namespace

PROBE_MAIN(kCases)
