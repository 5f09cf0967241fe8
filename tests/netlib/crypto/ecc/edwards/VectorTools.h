#pragma once
// Hex helpers and a runner for /usr/bin/python3, which digests the published
// vector files and computes reference values with independent libraries.
#include <filesystem>
#include <string>
#include <vector>

#include "TestText.h"

namespace edtest {

using Bytes = std::vector<unsigned char>;

inline Bytes FromHex(const std::string& hex) { return testsupport::UnhexBytes(hex); }
inline std::string ToHex(const unsigned char* data, size_t n) { return testsupport::Hex(data, n); }

// This folder and the project root, found from this file's own path.
inline std::filesystem::path TestDir() { return std::filesystem::path(__FILE__).parent_path(); }
inline std::filesystem::path ProjectRoot() { return TestDir() / ".." / ".." / ".." / ".." / ".."; }

inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

struct XdhCase {
  const char* scalar;
  const char* u;
  const char* out;
};

// Runs X25519 or X448 (or a ladder) on a scalar and u of the same length.
using XdhFn = int (*)(const unsigned char*, int, const unsigned char*, int, unsigned char*, int);
inline std::string Xdh(XdhFn fn, const Bytes& k, const Bytes& u, int* status = nullptr) {
  unsigned char out[56];
  const int n = static_cast<int>(k.size());
  const int st = fn(k.data(), n, u.data(), n, out, n);
  if (status != nullptr) *status = st;
  return ToHex(out, static_cast<size_t>(n));
}

inline bool HavePython() { return testsupport::HavePythonModule("cryptography"); }

// Runs a python program and returns its output split into lines of
// space-separated fields ("-" stands for an empty field).
inline std::vector<std::vector<std::string>> RunPython(const std::string& program) {
  bool ok = false;
  return testsupport::Rows(testsupport::RunPython(program, ok));
}

}  // namespace edtest
