#pragma once
// Runs a test on one processor path. A path this processor lacks skips the
// test with the reason, under CI too: the machine decides, not the install.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/cpu/CpuFeatures.h"

namespace testsupport {

// The portable path: no processor feature allowed.
constexpr uint32_t kPortablePath = 0;

inline std::string MissingFeatures(uint32_t required) {
  return tornell::cpu::Names(required & ~tornell::cpu::Detected());
}

}  // namespace testsupport

// Skips unless the processor has every feature of `required`; otherwise
// narrows the active features to exactly `required` until the scope ends.
#define USE_PROCESSOR_PATH_OR_SKIP(required)                                                  \
  if (((required) & ~::tornell::cpu::Detected()) != 0)                                       \
    GTEST_SKIP() << "processor lacks " << ::testsupport::MissingFeatures(required);           \
  ::tornell::cpu::ScopedRestrict processorPathScope_(required)
