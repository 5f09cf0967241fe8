#pragma once
// Helpers shared by the MAC and key-derivation tests: hex text, running the
// reference tools (the openssl command, mac_reference.py) and reading the
// published vector files through Python's json.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mactest {

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
// Hex for the reference script's argument lists: "-" stands for no bytes.
inline std::string Arg(const std::string& s) { return s.empty() ? "-" : Hex(s); }

inline std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
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
  char path[] = "/tmp/mac_test_input_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return "";
  close(fd);
  std::ofstream(path, std::ios::binary) << input;
  std::string output;
  FILE* pipe = popen((command + " < " + path + " 2>/dev/null").c_str(), "r");
  if (pipe != nullptr) {
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
    if (pclose(pipe) != 0) output.clear();
  }
  unlink(path);
  return output;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

inline std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string word; in >> word;) out.push_back(word == "-" ? "" : word);
  return out;
}

// One result line per request line of mac_reference.py; empty when the
// reference (Python with pycryptodome) cannot run.
inline std::vector<std::string> Reference(const std::vector<std::string>& requests) {
  std::string input;
  for (const std::string& r : requests) input += r + "\n";
  std::vector<std::string> out =
      Lines(Run("/usr/bin/python3 " + std::string(MAC_TEST_DIR) + "/mac_reference.py", input));
  if (out.size() != requests.size()) out.clear();
  return out;
}

// The test cases of a published vector file, one line per case of
// space-separated fields (hex, "-" when empty) named by `fields`, each a
// Python expression over the group `g` and the test `t`.
inline std::vector<std::vector<std::string>> VectorCases(const std::string& file,
                                                         const std::string& fields) {
  std::string path = (testsupport::VectorsDir() / "wycheproof" / file).string();
  std::string script =
      "import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "for g in d['testGroups']:\n"
      "  for t in g['tests']:\n"
      "    print(' '.join(str(x) if str(x) else '-' for x in (" + fields + ")))\n";
  std::vector<std::vector<std::string>> out;
  std::ifstream probe(path);
  if (!probe) return out;
  char scriptPath[] = "/tmp/mac_vectors_XXXXXX";
  int fd = mkstemp(scriptPath);
  if (fd < 0) return out;
  close(fd);
  std::ofstream(scriptPath) << script;
  for (const std::string& line : Lines(Run("/usr/bin/python3 " + std::string(scriptPath) + " '" +
                                           path + "'"))) {
    out.push_back(Words(line));
  }
  unlink(scriptPath);
  return out;
}

}  // namespace mactest
