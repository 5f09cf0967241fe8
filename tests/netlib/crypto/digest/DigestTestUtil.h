#pragma once
// Helpers shared by the digest tests: hex text, reproducible messages, and the
// independent reference computed by digest_reference.py.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "crypto/digest/ProcessorFeatures.h"

namespace digesttest {

inline std::string Hex(const void* data, int length) {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::string out;
  for (int i = 0; i < length; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}
inline std::string Hex(const std::string& s) { return Hex(s.data(), static_cast<int>(s.size())); }

// A small fixed-seed generator: the same messages and splits on every run.
class Prng {
 public:
  explicit Prng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    state_ += 0x9e3779b97f4a7c15ULL;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  std::string Bytes(int n) {
    std::string s(static_cast<size_t>(n), '\0');
    for (char& c : s) c = static_cast<char>(Next());
    return s;
  }

 private:
  uint64_t state_;
};

// Runs the reference script over "<algorithm> <hex or a*N>" lines; returns one
// hex digest per request, or nothing when the reference cannot run.
inline std::vector<std::string> RunReference(const std::vector<std::string>& requests) {
  std::string script = std::string(DIGEST_TEST_DIR) + "/digest_reference.py";
  char path[] = "/tmp/digest_reference_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  {
    std::ofstream file(path);
    for (const std::string& r : requests) file << r << '\n';
  }
  std::string command = "/usr/bin/python3 '" + script + "' < '" + path + "' 2>/dev/null";
  std::vector<std::string> out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
      std::string s(line);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
      out.push_back(s);
    }
    if (pclose(pipe) != 0) out.clear();
  }
  std::remove(path);
  if (out.size() != requests.size()) out.clear();
  return out;
}

// Parameter true: the processor's fast paths where present; false: the
// portable code.
class BothPaths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { tornell::SetDigestFastPathsAllowed(GetParam()); }
  void TearDown() override { tornell::SetDigestFastPathsAllowed(true); }
};

inline std::string PathName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "FastPaths" : "Portable";
}

}  // namespace digesttest
