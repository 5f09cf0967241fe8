// Puts the processor's features into the bench output's context, where the
// table script prints them above the rows.
#include "BenchPath.h"

namespace {

const bool kFeaturesNoted = [] {
  using namespace tornell::cpu;
  benchmark::AddCustomContext("cpu_features", Names(Detected()));
  return true;
}();

}  // namespace
