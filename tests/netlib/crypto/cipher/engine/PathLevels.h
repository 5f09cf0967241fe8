#pragma once
// Runs a test once per code path: the 512-bit paths, the AVX2/AES-NI/PCLMULQDQ
// paths and the portable code (a path the processor lacks falls back).
#include <gtest/gtest.h>

#include <string>

#include "crypto/cipher/aead/AeadFastPath.h"

namespace aeadtest {

class PathLevels : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { tornell::aeadfast::SetLevel(GetParam()); }
  void TearDown() override { tornell::aeadfast::SetLevel(tornell::aeadfast::kWide); }
};

inline std::string PathName(const ::testing::TestParamInfo<int>& info) {
  return info.param == tornell::aeadfast::kWide ? "Wide" : info.param == tornell::aeadfast::kVector ? "Vector" : "Portable";
}

#define AEAD_ALL_PATHS(Suite)                                                                              \
  INSTANTIATE_TEST_SUITE_P(Paths, Suite,                                                                   \
                           ::testing::Values(tornell::aeadfast::kWide, tornell::aeadfast::kVector,         \
                                             tornell::aeadfast::kPortable),                                \
                           ::aeadtest::PathName)

}  // namespace aeadtest
