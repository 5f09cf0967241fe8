#pragma once
// Hex helpers and a runner for /usr/bin/python3, which digests the published
// vector files and computes reference values with independent libraries.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace edtest {

using Bytes = std::vector<unsigned char>;

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const unsigned char* data, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}

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

inline bool HavePython() { return std::system("/usr/bin/python3 -c 'import cryptography' >/dev/null 2>&1") == 0; }

// Runs a python program and returns its output split into lines of
// space-separated fields ("-" stands for an empty field).
inline std::vector<std::vector<std::string>> RunPython(const std::string& program) {
  std::vector<std::vector<std::string>> rows;
  char path[] = "/tmp/edtestXXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return rows;
  FILE* f = fdopen(fd, "w");
  std::fputs(program.c_str(), f);
  std::fclose(f);
  std::string cmd = std::string("/usr/bin/python3 ") + path;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return rows;
  std::string line;
  int c;
  std::vector<std::string> row;
  std::string field;
  while ((c = std::fgetc(p)) != EOF) {
    if (c == ' ' || c == '\n') {
      if (!field.empty()) row.push_back(field == "-" ? std::string() : field);
      field.clear();
      if (c == '\n') {
        rows.push_back(row);
        row.clear();
      }
    } else {
      field += static_cast<char>(c);
    }
  }
  pclose(p);
  std::remove(path);
  return rows;
}

}  // namespace edtest
