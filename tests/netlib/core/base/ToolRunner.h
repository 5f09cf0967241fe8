#pragma once
// Runs a reference tool (python3, nkf) and returns what it printed; binary data
// travels as hex so no quoting or encoding can change it.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace basetest {

inline bool HaveTool(const char* path) { return access(path, X_OK) == 0; }

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

// A fresh empty file; the caller removes it.
inline std::string TempPath() {
  char path[] = "/tmp/tornell_base_XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  return path;
}

// Output of the command; the trailing newline is removed.
inline std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// Runs a python3 script with the given arguments; one result per printed line.
inline std::vector<std::string> Python(const std::string& script,
                                       const std::vector<std::string>& args = {}) {
  std::string path = TempPath();
  std::ofstream(path) << script;
  std::string command = "/usr/bin/python3 " + path;
  for (const std::string& a : args) command += " '" + a + "'";
  std::string out = Capture(command);
  std::remove(path.c_str());
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= out.size() && !out.empty()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    lines.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace basetest
