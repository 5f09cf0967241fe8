#pragma once
// Helpers shared by the digest tests: hex text, reproducible messages, and the
// independent reference computed by digest_reference.py.
#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "crypto/digest/hash/ProcessorFeatures.h"

namespace digesttest {

using testsupport::Hex;

// A small fixed-seed generator: the same messages and splits on every run.
class Prng {
 public:
  explicit Prng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    state_ += 0x9e3779b97f4a7c15ULL;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  std::string Bytes(int n) {
    std::string s(static_cast<size_t>(n), '\0');
    for (char& c : s) c = static_cast<char>(Next());
    return s;
  }

 private:
  uint64_t state_;
};

// Runs the reference script over "<algorithm> <hex or a*N>" lines; returns one
// hex digest per request, or nothing when the reference cannot run.
inline std::vector<std::string> RunReference(const std::vector<std::string>& requests) {
  return testsupport::RunReferenceScript(std::string(DIGEST_TEST_DIR) + "/digest_reference.py", requests);
}

// Parameter true: the processor's fast paths where present; false: the
// portable code.
class BothPaths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { tornell::SetDigestFastPathsAllowed(GetParam()); }
  void TearDown() override { tornell::SetDigestFastPathsAllowed(true); }
};

inline std::string PathName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "FastPaths" : "Portable";
}

}  // namespace digesttest
