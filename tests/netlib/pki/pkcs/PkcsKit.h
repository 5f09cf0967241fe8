#pragma once
// The PKCS#12, CMS and PKCS#7 fixtures: made by make_pkcs_kit.sh with the
// openssl command from the PKI kit, once for all test programs, into a folder
// beside the kit.
#include <string>
#include <vector>

#include "../kit/PkiKit.h"
#include "TestText.h"

namespace pkcskit {

constexpr const char* kPassword = "p12 pass";
constexpr const char* kMissing = "openssl, faketime or flock missing, or a kit script failed";

inline std::string Ensure() {
  static std::string made = [] {
    const std::string kit = pkikit::Ensure();
    if (kit.empty()) return std::string();
    // Made again when the PKI kit it is made from is newer.
    return testsupport::MakeKitFolder(kit + "-pkcs",
                                      (testsupport::SourceDir() / "tests/netlib/pki/pkcs/make_pkcs_kit.sh").string(),
                                      kit, kit + "/.script");
  }();
  return made;
}

inline std::string Path(const std::string& name) { return Ensure() + "/" + name; }
inline std::string Bytes(const std::string& name) { return testsupport::ReadFileText(Path(name)); }

// Runs a command in the fixture folder and returns its output.
inline std::string Run(const std::string& command, bool& ok) {
  return testsupport::RunInFolder(Ensure(), command, ok);
}

// The DER of each PEM certificate the command prints, in order.
inline std::vector<std::string> PemBlocks(const std::string& command) {
  bool ok = false;
  const std::string hex = testsupport::RunCommand(
      "cd '" + Ensure() + "' && " + command +
          " 2>/dev/null | /usr/bin/python3 -c 'import sys,re,base64\n"
          "for b in re.findall(r\"-----BEGIN CERTIFICATE-----(.*?)-----END\", sys.stdin.read(), re.S):\n"
          "  print(base64.b64decode(\"\".join(b.split())).hex())'",
      ok);
  std::vector<std::string> out;
  if (!ok) return out;
  for (const std::string& line : testsupport::Lines(hex)) out.push_back(testsupport::Unhex(line));
  return out;
}

}  // namespace pkcskit
