#pragma once
// Helpers shared by the MAC and key-derivation tests: hex text, running the
// reference tools (the openssl command, mac_reference.py), and the runs over
// every digest and both processor paths.
#include <cstdint>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "ProcessorPath.h"
#include "core/cpu/CpuFeatures.h"

namespace mactest {

using testsupport::Hex;
using testsupport::Lines;
// Hex for the reference script's argument lists: "-" stands for no bytes.
inline std::string Arg(const std::string& s) { return testsupport::HexOrDash(s); }
inline std::string FromHex(const std::string& hex) { return testsupport::Unhex(hex); }

// The reference script's name of every digest number.
inline const char* const kReferenceNames[tornell::HashAlgorithm::kCount] = {
    "sha1",      "md5",       "sha256",    "sha224",    "sha512",    "sha512_224",
    "sha512_256", "sha384",   "ripemd160", "md4",       "md2",       "md5-sha1",
    "keccak224", "keccak256", "keccak384", "keccak512", "shake128",  "shake256"};

// Runs `body` on every digest path this processor has (the SHA
// instructions, the AVX2 code) and on the portable code.
template <class Body>
void OnBothPaths(Body body) {
  const uint32_t paths[] = {tornell::cpu::path::kShaNi,
                            tornell::cpu::path::kSha512Avx2 | tornell::cpu::path::kKeccakAvx2,
                            testsupport::kPortablePath};
  for (uint32_t path : paths) {
    if ((path & ~tornell::cpu::Detected()) != 0) {
      std::printf("[   NOTE   ] processor lacks %s: that path is not run\n", testsupport::MissingFeatures(path).c_str());
      continue;
    }
    SCOPED_TRACE(path == 0 ? std::string("portable code") : tornell::cpu::Names(path));
    tornell::cpu::ScopedRestrict restrict(path);
    body();
  }
}

// Bytes of a reproducible pattern, different for every seed.
inline std::string Pattern(int length, int seed) {
  std::string s(static_cast<size_t>(length), '\0');
  uint32_t x = 0x9e3779b9u * static_cast<uint32_t>(seed + 1);
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

// Runs a shell command with `input` on its standard input; the standard
// output, or an empty string when the command fails.
inline std::string Run(const std::string& command, const std::string& input = "") {
  bool ok = false;
  std::string output = testsupport::RunCommand(command + " 2>/dev/null", input, ok);
  if (!ok) output.clear();
  return output;
}

// One result line per request line of mac_reference.py; empty when the
// reference (Python with pycryptodome) cannot run.
inline std::vector<std::string> Reference(const std::vector<std::string>& requests) {
  return testsupport::RunReferenceScript(std::string(MAC_TEST_DIR) + "/mac_reference.py", requests);
}

}  // namespace mactest
