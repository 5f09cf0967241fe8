#pragma once
// Constant-time probes: programs run under valgrind's memcheck with their
// secret inputs marked undefined. Any branch or memory index that depends on a
// secret is then reported as a use of an uninitialised value, and the run
// fails. Outputs are revealed (marked defined) once the secret is no longer in
// them, before anything reads them.
#include <valgrind/memcheck.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace probe {

inline void MarkSecret(const void* p, size_t n) { VALGRIND_MAKE_MEM_UNDEFINED(p, n); }
inline void Reveal(const void* p, size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }
template <class T>
inline T Revealed(T value) {
  Reveal(&value, sizeof value);
  return value;
}

// One probe: a name and a function returning the number of unexpected
// results (statuses, wrong answers), which fail the run as well.
struct Case {
  const char* name;
  int (*run)();
};

// Runs every case, or only the one named by the first argument.
inline int RunCases(const Case* cases, size_t count, int argc, char** argv) {
  if (!RUNNING_ON_VALGRIND) std::fprintf(stderr, "note: not running under valgrind\n");
  int failures = 0;
  for (size_t i = 0; i < count; ++i) {
    if (argc > 1 && std::strcmp(argv[1], cases[i].name) != 0) continue;
    const int f = cases[i].run();
    std::printf("%-40s %s\n", cases[i].name, f == 0 ? "ok" : "unexpected result");
    failures += f;
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace probe

#define PROBE_MAIN(cases) \
  int main(int argc, char** argv) { return probe::RunCases(cases, sizeof(cases) / sizeof(cases[0]), argc, argv); }
