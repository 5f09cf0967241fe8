#pragma once
// Text helpers shared by the tests: hex both ways, whole files, and running
// reference tools through the shell with their output read back as lines and
// words.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"

namespace testsupport {

inline std::string Hex(const void* data, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}
inline std::string Hex(const std::string& bytes) { return Hex(bytes.data(), bytes.size()); }
inline std::string Hex(const std::vector<unsigned char>& bytes) { return Hex(bytes.data(), bytes.size()); }

// Hex for a field of a space-separated line: "-" stands for no bytes, which
// Words reads back as an empty field.
template <typename ByteContainer>
std::string HexOrDash(const ByteContainer& bytes) {
  return bytes.empty() ? "-" : Hex(bytes);
}

template <typename ByteContainer>
ByteContainer UnhexAs(const std::string& hex) {
  ByteContainer out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<typename ByteContainer::value_type>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}
inline std::string Unhex(const std::string& hex) { return UnhexAs<std::string>(hex); }
inline std::vector<unsigned char> UnhexBytes(const std::string& hex) {
  return UnhexAs<std::vector<unsigned char>>(hex);
}

inline std::string ReadFileText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A fresh file under /tmp holding `content`, removed again with this object.
class TempFile {
 public:
  explicit TempFile(const std::string& content = "") {
    char path[] = "/tmp/tornell_test_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return;
    close(fd);
    path_ = path;
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~TempFile() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool Made() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Runs a shell command and returns its standard output; ok is false when it
// could not run or exited non-zero.
inline std::string RunCommand(const std::string& command, bool& ok) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ok = false;
    return out;
  }
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
  ok = pclose(pipe) == 0;
  return out;
}

// The same with `input` on the command's standard input.
inline std::string RunCommand(const std::string& command, const std::string& input, bool& ok) {
  TempFile in(input);
  if (!in.Made()) {
    ok = false;
    return "";
  }
  return RunCommand(command + " < '" + in.Path() + "'", ok);
}

// Runs a python3 program with the given arguments (each passed quoted).
inline std::string RunPython(const std::string& program, bool& ok,
                             const std::vector<std::string>& args = {}) {
  TempFile script(program);
  if (!script.Made()) {
    ok = false;
    return "";
  }
  std::string command = "/usr/bin/python3 '" + script.Path() + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  return RunCommand(command, ok);
}

inline bool HaveTool(const char* path) { return access(path, X_OK) == 0; }

// The openssl command on PATH answers with its version.
inline bool HaveOpenssl() {
  bool ok = false;
  return RunCommand("openssl version 2>/dev/null", ok).rfind("OpenSSL", 0) == 0 && ok;
}

inline bool HavePythonModule(const std::string& module) {
  bool ok = false;
  RunCommand("/usr/bin/python3 -c 'import " + module + "' >/dev/null 2>&1", ok);
  return ok;
}

// Lines of the text without their '\\n' ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Space-separated fields of a line; "-" stands for an empty field.
inline std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string word; in >> word;) out.push_back(word == "-" ? "" : word);
  return out;
}

// The fields of every line that has any.
inline std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : Lines(text)) {
    std::vector<std::string> fields = Words(line);
    if (!fields.empty()) rows.push_back(std::move(fields));
  }
  return rows;
}

// Runs a python3 reference script with one request a line on its standard
// input: one answer line per request, or nothing when the script fails or
// answers a different number of lines.
inline std::vector<std::string> RunReferenceScript(const std::string& script,
                                                   const std::vector<std::string>& requests) {
  std::string input;
  for (const std::string& r : requests) input += r + '\n';
  bool ok = false;
  std::vector<std::string> out = Lines(RunCommand("/usr/bin/python3 '" + script + "'", input, ok));
  if (!ok || out.size() != requests.size()) out.clear();
  return out;
}

// The cases of a published vector file, one row per test of the fields named
// by `fields` (Python expressions over the group `g` and the test `t`; an
// empty field comes back empty). Nothing when the file or python3 is missing.
inline std::vector<std::vector<std::string>> WycheproofRows(const std::string& file, const std::string& fields) {
  const std::string path = (VectorsDir() / "wycheproof" / file).string();
  if (!std::ifstream(path)) return {};
  const std::string program =
      "import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "for g in d['testGroups']:\n"
      "  for t in g['tests']:\n"
      "    print(' '.join(str(x) if str(x) else '-' for x in (" + fields + ")))\n";
  bool ok = false;
  const std::string out = RunPython(program, ok, {path});
  if (!ok) return {};
  return Rows(out);
}

}  // namespace testsupport
