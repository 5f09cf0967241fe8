// Puts the processor's features into the bench output's context, where the
// table script prints them above the rows. With TORNELL_BENCH_WITHOUT_AVX512
// set, our side runs as on a processor without AVX-512 (the script masks
// OpenSSL's use of it in the same pass through OPENSSL_ia32cap).
#include <cstdlib>

#include "BenchPath.h"

namespace {

const bool kFeaturesNoted = [] {
  using namespace tornell::cpu;
  const char* without = std::getenv("TORNELL_BENCH_WITHOUT_AVX512");
  if (without != nullptr && *without != '\0') Restrict(~(kAvx512F | kAvx512Vl | kAvx512Bw | kAvx512Ifma));
  benchmark::AddCustomContext("cpu_features", Names(Active()));
  return true;
}();

}  // namespace
