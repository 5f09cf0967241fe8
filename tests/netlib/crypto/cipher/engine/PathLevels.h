#pragma once
// Runs a test once per code path: the 512-bit kernels (with the AVX2 and
// AES-NI ones for the rest), the 256-bit VAES/VPCLMULQDQ kernels of
// processors without AVX-512, the AVX2/AES-NI/PCLMULQDQ kernels, and the
// portable code. A path the processor lacks is skipped with the reason.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ProcessorPath.h"
#include "core/cpu/CpuFeatures.h"

namespace aeadtest {

constexpr uint32_t kVectorPath = tornell::cpu::path::kAesGcmClmul | tornell::cpu::path::kChaCha20Avx2;
constexpr uint32_t kWidePath = kVectorPath | tornell::cpu::path::kAesGcmVaes512 |
                               tornell::cpu::path::kChaCha20Avx512 | tornell::cpu::path::kPoly1305Ifma;
constexpr uint32_t kVaes256Path = kVectorPath | tornell::cpu::path::kAesGcmVaes256;
constexpr uint32_t kPortablePath = testsupport::kPortablePath;

class PathLevels : public ::testing::TestWithParam<uint32_t> {};

inline std::string PathName(const ::testing::TestParamInfo<uint32_t>& info) {
  return info.param == kWidePath      ? "Wide"
         : info.param == kVaes256Path ? "Vaes256"
         : info.param == kVectorPath  ? "Vector"
                                      : "Portable";
}

// True when this processor can run the path (a comparison across paths
// leaves out the ones it cannot).
inline bool Available(uint32_t path) { return (path & ~tornell::cpu::Detected()) == 0; }

#define AEAD_ALL_PATHS(Suite)                                                                                  \
  INSTANTIATE_TEST_SUITE_P(Paths, Suite,                                                                       \
                           ::testing::Values(::aeadtest::kWidePath, ::aeadtest::kVaes256Path,                 \
                                             ::aeadtest::kVectorPath, ::aeadtest::kPortablePath),              \
                           ::aeadtest::PathName)

}  // namespace aeadtest
