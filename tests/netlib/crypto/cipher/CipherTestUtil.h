#pragma once
// Small helpers of the cipher tests: hex text and reference tools run
// through the shell (Python's cryptography, openssl, libc crypt).
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace ciphertest {

using Bytes = std::vector<unsigned char>;

inline Bytes Unhex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string Hex(const unsigned char* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

inline std::string Hex(const Bytes& b) { return Hex(b.data(), b.size()); }

// Runs a shell command and returns its standard output; ok is false when
// it could not run or exited non-zero.
inline std::string RunCommand(const std::string& command, bool& ok) {
  std::string out;
  FILE* f = popen(command.c_str(), "r");
  if (f == nullptr) {
    ok = false;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  ok = pclose(f) == 0;
  return out;
}

// Runs a Python script (passed on standard input via a here-document).
inline std::string RunPython(const std::string& script, bool& ok) {
  return RunCommand("/usr/bin/python3 - <<'PYEOF'\n" + script + "\nPYEOF\n", ok);
}

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

inline std::vector<std::vector<std::string>> SplitLines(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::vector<std::string> fields;
    std::string f;
    while (ls >> f) fields.push_back(f == "-" ? "" : f);
    if (!fields.empty()) rows.push_back(fields);
  }
  return rows;
}

inline bool HavePythonModule(const std::string& module) {
  bool ok = false;
  RunCommand("/usr/bin/python3 -c 'import " + module + "' 2>/dev/null", ok);
  return ok;
}

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
  auto rows = SplitLines(RunPython(script, ok));
  if (rows.size() != keyLengths.size()) ok = false;
  return rows;
}

}  // namespace ciphertest
