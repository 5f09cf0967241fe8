#pragma once
// What the openssl and gnutls-cli commands know of the cipher suites, for
// comparison with the registry and the display names.
#include <map>
#include <sstream>
#include <string>

#include "TestText.h"

namespace suitetest {

struct ToolSuite {
  std::string name;
  std::string version;  // "TLSv1.3", "SSLv3" ... (openssl) or "TLS1.2" ... (gnutls)
  std::string au;       // openssl's Au= field
  std::string enc;      // openssl's Enc= field
  std::string mac;      // openssl's Mac= field
};

// Every suite of `openssl ciphers -stdname -V`, by code.
inline std::map<int, ToolSuite> OpensslSuites() {
  std::map<int, ToolSuite> suites;
  if (!testsupport::HaveOpenssl()) return suites;
  bool ok = false;
  const std::string out = testsupport::RunCommand("openssl ciphers -stdname -V 'ALL:COMPLEMENTOFALL:@SECLEVEL=0'", ok);
  if (!ok) return suites;
  for (const std::string& line : testsupport::Lines(out)) {
    std::istringstream in(line);
    std::string code, dash1, name, dash2, ossl, version, kx, au, enc, mac;
    if (!(in >> code >> dash1 >> name >> dash2 >> ossl >> version >> kx >> au >> enc >> mac)) continue;
    const int value = std::stoi(code.substr(2, 2), nullptr, 16) * 256 + std::stoi(code.substr(7, 2), nullptr, 16);
    suites[value] = {name, version, au.substr(3), enc.substr(4), mac.substr(4)};
  }
  return suites;
}

// Every suite of `gnutls-cli --list`, by code: its gnutls name and version.
inline std::map<int, ToolSuite> GnutlsSuites() {
  std::map<int, ToolSuite> suites;
  if (!testsupport::HaveTool("/usr/bin/gnutls-cli")) return suites;
  bool ok = false;
  const std::string out = testsupport::RunCommand("/usr/bin/gnutls-cli --list", ok);
  if (!ok) return suites;
  for (const std::string& line : testsupport::Lines(out)) {
    std::istringstream in(line);
    std::string name, high, low, version;
    if (!(in >> name >> high >> low >> version) || high.rfind("0x", 0) != 0 || high.back() != ',') continue;
    const int value = std::stoi(high.substr(2, 2), nullptr, 16) * 256 + std::stoi(low.substr(2, 2), nullptr, 16);
    suites[value] = {name, version, "", "", ""};
  }
  return suites;
}

}  // namespace suitetest
