#pragma once
// Helpers shared by the digest tests: hex text, reproducible messages, and the
// independent reference computed by digest_reference.py.
#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "ProcessorPath.h"
#include "core/cpu/CpuFeatures.h"

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

// The digest paths: the SHA instructions (SHA-1, SHA-256), the AVX2 and BMI
// code (SHA-512, Keccak) and the portable code. A test body starts with
// USE_PROCESSOR_PATH_OR_SKIP(GetParam()).
constexpr uint32_t kShaInstructionsPath = tornell::cpu::path::kShaNi;
constexpr uint32_t kAvx2Path = tornell::cpu::path::kSha512Avx2 | tornell::cpu::path::kKeccakAvx2;

class BothPaths : public ::testing::TestWithParam<uint32_t> {};

inline std::string PathName(const ::testing::TestParamInfo<uint32_t>& info) {
  return info.param == kShaInstructionsPath ? "ShaInstructions" : info.param == kAvx2Path ? "Avx2" : "Portable";
}

#define DIGEST_ALL_PATHS(Suite)                                                                  \
  INSTANTIATE_TEST_SUITE_P(Paths, Suite,                                                         \
                           ::testing::Values(::digesttest::kShaInstructionsPath,                 \
                                             ::digesttest::kAvx2Path, ::testsupport::kPortablePath), \
                           ::digesttest::PathName)

}  // namespace digesttest
