#pragma once
// How the library reports failure: every operation returns an int status, 0
// for success, and never throws. Each component names its codes as constants
// (kStatus... in its own header, with the numbers its users rely on) and
// never returns a bare number; functions that return a status are marked
// [[nodiscard]], so a dropped failure is a compiler warning. A failure is
// passed up with TORNELL_TRY.
#include "core/base/StatusCodes.h"

// Evaluates a status expression once and returns it from the calling function
// when it is not 0.
#define TORNELL_TRY(expr)                                      \
  do {                                                         \
    if (const int tornellStatus_ = (expr); tornellStatus_ != 0) \
      return tornellStatus_;                                   \
  } while (0)
