#pragma once
// Reads the engine's secret dumps back out of its status texts.
#include <cctype>
#include <cstdint>
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

}  // namespace peertest
