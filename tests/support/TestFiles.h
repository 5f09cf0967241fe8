#pragma once
// Scratch folders and file contents for tests that hand files to real
// servers and compare what the servers wrote.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

// A fresh folder under /tmp named from `prefix`, removed with everything in it.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) {
    std::string name = "/tmp/" + prefix + "-XXXXXX";
    path_ = mkdtemp(name.data()) != nullptr ? name : "";
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

// Reproducible bytes of every value, so a body cut or shifted anywhere differs.
inline std::string Pattern(size_t size, unsigned seed) {
  std::string out(size, '\0');
  uint32_t x = seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<char>(x >> 16);
  }
  return out;
}

}  // namespace testsupport
