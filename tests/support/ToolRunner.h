#pragma once
// Runs a reference tool (python3, nkf) and returns what it printed; binary data
// travels as hex so no quoting or encoding can change it.

#include <string>
#include <vector>

#include "TestText.h"

namespace basetest {

using testsupport::HaveTool;
using testsupport::Hex;
using testsupport::Unhex;

// Runs a python3 script with the given arguments; one result per printed line.
inline std::vector<std::string> Python(const std::string& script,
                                       const std::vector<std::string>& args = {}) {
  bool ok = false;
  std::string out = testsupport::RunPython(script, ok, args);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return testsupport::Lines(out);
}

}  // namespace basetest
