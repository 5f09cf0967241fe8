#pragma once
// Helpers of the engine tests: hex text, the reference script of this folder
// and the openssl command.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/ByteString.h"
#include "crypto/ecc/EcKey.h"

namespace enginetest {

using Row = std::vector<std::string>;

inline std::string RunTool(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  size_t n = 0;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

inline std::vector<Row> Rows(const std::string& text) {
  std::vector<Row> rows;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    Row fields;
    size_t s = 0;
    for (;;) {
      const size_t bar = line.find('|', s);
      fields.push_back(line.substr(s, bar == std::string::npos ? std::string::npos : bar - s));
      if (bar == std::string::npos) break;
      s = bar + 1;
    }
    rows.push_back(fields);
  }
  return rows;
}

// Runs engine_reference.py (beside this header) with the arguments.
inline std::vector<Row> Reference(const std::string& args) {
  const std::string script = (std::filesystem::path(__FILE__).parent_path() / "engine_reference.py").string();
  return Rows(RunTool("timeout 300 /usr/bin/python3 " + script + " " + args + " 2>/dev/null"));
}

inline bool HasPython() {
  return RunTool("/usr/bin/python3 -c 'import cryptography; print(1)' 2>/dev/null") == "1\n";
}

inline bool HasOpenssl() { return RunTool("openssl version 2>/dev/null").rfind("OpenSSL", 0) == 0; }

// "-" stands for no bytes.
inline std::string Bytes(const std::string& hex) {
  std::string out;
  if (hex == "-") return out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

inline tornell::ByteString Str(const std::string& hex) {
  tornell::ByteString s;
  const std::string b = Bytes(hex);
  s.Set(b.data(), static_cast<int>(b.size()));
  return s;
}

inline std::string Hex(const char* data, int length) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out.empty() ? "-" : out;
}

inline std::string Hex(const tornell::ByteString& s) { return Hex(s.Data(), s.Length()); }

inline void SetKey(tornell::EcKey& key, int curveIndex, const std::string& d, const std::string& x,
                   const std::string& y) {
  key.curveIndex = curveIndex;
  key.curve = nullptr;
  key.D = Str(d);
  key.X = Str(x);
  key.Y = Str(y);
}

}  // namespace enginetest
