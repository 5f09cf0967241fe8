#pragma once
// Reads a Wycheproof RSA or DSA file through wycheproof_cases.py: one map of
// fields per case (group key values and settings included).
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestText.h"

namespace tornell::keytest {

using Case = std::map<std::string, std::string>;

inline std::vector<Case> ReadWycheproof(const std::string& file) {
  std::vector<Case> cases;
  const auto path = testsupport::VectorsDir() / "wycheproof" / file;
  if (!std::filesystem::exists(path)) return cases;
  const auto script = testsupport::SourceDir() / "tests/netlib/crypto/rsa/wycheproof_cases.py";
  bool ok = false;
  const std::string out =
      testsupport::RunCommand("/usr/bin/python3 '" + script.string() + "' '" + path.string() + "'", ok);
  for (const std::string& line : testsupport::Lines(out)) {
    Case c;
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) {
      const auto eq = field.find('=');
      if (eq != std::string::npos) c[field.substr(0, eq)] = field.substr(eq + 1);
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

// Wycheproof's hash names to the library's ("SHA-256" to "SHA256").
inline std::string DigestName(const std::string& wycheproofName) {
  std::string out;
  for (char c : wycheproofName)
    if (c != '-') out += c;
  return out;
}

}  // namespace tornell::keytest
