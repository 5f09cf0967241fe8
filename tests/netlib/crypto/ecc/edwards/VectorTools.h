#pragma once
// Hex helpers and a runner for /usr/bin/python3, which digests the published
// vector files and computes reference values with independent libraries.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestText.h"

namespace edtest {

using Bytes = std::vector<unsigned char>;

inline Bytes FromHex(const std::string& hex) { return testsupport::UnhexBytes(hex); }
inline std::string ToHex(const unsigned char* data, size_t n) { return testsupport::Hex(data, n); }

// This folder and the project root.
inline std::filesystem::path ProjectRoot() { return testsupport::SourceDir(); }
inline std::filesystem::path TestDir() { return ProjectRoot() / "tests/netlib/crypto/ecc/edwards"; }

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

// Key pairs made and exchanged by Python's cryptography (`module` is x25519
// or x448): each public key through the fixed-base path and the ladder from
// `base`, and each shared secret through `fn`.
inline void ExpectXdhAgreesWithPython(const std::string& module, int count, XdhFn fn, XdhFn ladder,
                                      const Bytes& base) {
  const std::string key = module == "x25519" ? "X25519PrivateKey" : "X448PrivateKey";
  auto rows = RunPython(
      "from cryptography.hazmat.primitives.asymmetric import " + module + "\n"
      "from cryptography.hazmat.primitives import serialization as s\n"
      "for i in range(" + std::to_string(count) + "):\n"
      " a=" + module + "." + key + ".generate(); b=" + module + "." + key + ".generate()\n"
      " raw=lambda k:k.private_bytes(s.Encoding.Raw,s.PrivateFormat.Raw,s.NoEncryption()).hex()\n"
      " pub=lambda k:k.public_key().public_bytes(s.Encoding.Raw,s.PublicFormat.Raw).hex()\n"
      " print(raw(a), pub(a), pub(b), a.exchange(b.public_key()).hex())\n");
  ASSERT_EQ(rows.size(), static_cast<size_t>(count));
  for (const auto& r : rows) {
    EXPECT_EQ(Xdh(fn, FromHex(r[0]), base), r[1]);
    EXPECT_EQ(Xdh(ladder, FromHex(r[0]), base), r[1]);
    EXPECT_EQ(Xdh(fn, FromHex(r[0]), FromHex(r[2])), r[3]);
  }
}

}  // namespace edtest
