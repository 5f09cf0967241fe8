// A fuzz target stops at the first broken invariant and names it, so the
// crash report says which property failed, not only where.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
  }
}
