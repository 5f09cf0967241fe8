#pragma once
// Small helpers of the cipher tests: hex text and reference tools run
// through the shell (Python's cryptography, openssl, libc crypt), with bytes
// passed to printf(1) and random cases drawn from Python.
#include <cstdio>
#include <string>
#include <vector>

#include "TestText.h"

namespace ciphertest {

using Bytes = std::vector<unsigned char>;

inline Bytes Unhex(const std::string& hex) { return testsupport::UnhexBytes(hex); }
using testsupport::Hex;
using testsupport::HavePythonModule;
using testsupport::RunCommand;
using testsupport::RunPython;
using testsupport::Rows;

// Bytes as printf(1) octal escapes (POSIX sh has no hex
// escapes), and a shell tail that prints stdin as hex.
inline std::string PrintfEscapes(const Bytes& b) {
  std::string s;
  for (unsigned char c : b) {
    char oct[8];
    std::snprintf(oct, sizeof oct, "\\%03o", c);
    s += oct;
  }
  return s;
}
constexpr const char* kHexDump = "od -An -v -tx1 | tr -d ' \\n'";

// Rows of "key plain cipher" hex from Python's cryptography: ECB for a
// block algorithm (or the keystream XOR for ARC4) over random keys of the
// given lengths and dataLength random bytes.
inline std::vector<std::vector<std::string>> PythonRandomRows(const std::string& algorithm,
                                                              const std::vector<int>& keyLengths,
                                                              int dataLength, bool& ok) {
  std::string lengths;
  for (int n : keyLengths) lengths += std::to_string(n) + ",";
  const std::string script =
      "import os, warnings\n"
      "warnings.filterwarnings('ignore')\n"
      "from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes\n"
      "try:\n"
      "    from cryptography.hazmat.decrepit.ciphers import algorithms as old\n"
      "except ImportError:\n"
      "    old = algorithms\n"
      "name = '" + algorithm + "'\n"
      "algo = getattr(old, name, None) or getattr(algorithms, name)\n"
      "for n in (" + lengths + "):\n"
      "    k, p = os.urandom(n), os.urandom(" + std::to_string(dataLength) + ")\n"
      "    e = Cipher(algo(k), None if name == 'ARC4' else modes.ECB()).encryptor()\n"
      "    print(k.hex(), p.hex(), (e.update(p) + e.finalize()).hex())\n";
  auto rows = Rows(RunPython(script, ok));
  if (rows.size() != keyLengths.size()) ok = false;
  return rows;
}

}  // namespace ciphertest
