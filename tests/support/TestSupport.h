#pragma once
// Shared helpers for tests: locating vectors and skipping for a missing peer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

inline bool UnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// Folder of the published test vectors.
inline std::filesystem::path VectorsDir() {
  const char* dir = std::getenv("TORNELL_VECTORS");
  if (dir != nullptr && *dir != '\0') return dir;
  const char* src = std::getenv("TORNELL_SOURCE_DIR");
  return std::filesystem::path(src != nullptr ? src : ".") / ".." / "shared" / "vectors";
}

inline std::filesystem::path SourceDir() {
  const char* src = std::getenv("TORNELL_SOURCE_DIR");
  return src != nullptr ? src : ".";
}

}  // namespace testsupport

// A missing peer or vector file skips the test, except under CI where the
// test command installs them and their absence is a fault.
#define REQUIRE_OR_SKIP(cond, reason)                                  \
  do {                                                                 \
    if (!(cond)) {                                                     \
      if (::testsupport::UnderCi()) FAIL() << "missing under CI: " << (reason); \
      GTEST_SKIP() << (reason);                                        \
    }                                                                  \
  } while (0)
