#pragma once
// Reads secrets back: the engine's dumps out of its status texts, and a
// peer's key log file.
#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace peertest {

// The bytes of the first dump with this label, in lower-case hex ("" when none).
inline std::string Dumped(const std::vector<std::string>& statuses, const std::string& label) {
  const std::string head = "==" + label + "==(";
  for (const std::string& s : statuses) {
    if (s.rfind(head, 0) != 0) continue;
    std::string hex;
    size_t at = s.find("\r\n");
    while (at != std::string::npos) {
      size_t i = at + 2;
      while (i + 2 < s.size() && std::isxdigit(uint8_t(s[i])) && std::isxdigit(uint8_t(s[i + 1])) && s[i + 2] == ' ') {
        hex += char(std::tolower(uint8_t(s[i])));
        hex += char(std::tolower(uint8_t(s[i + 1])));
        i += 3;
      }
      at = s.find("\r\n", i);
    }
    return hex;
  }
  return "";
}

// A key log file's lines for one client random (lower-case hex): label to
// secret, in lower-case hex.
inline std::map<std::string, std::string> KeyLog(const std::string& path, const std::string& clientRandom) {
  const auto lower = [](std::string text) {
    for (char& ch : text) ch = char(std::tolower(uint8_t(ch)));
    return text;
  };
  std::map<std::string, std::string> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string label, random, secret;
    words >> label >> random >> secret;
    if (lower(random) == clientRandom) out[label] = lower(secret);
  }
  return out;
}

}  // namespace peertest
