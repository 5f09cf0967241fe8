#pragma once
// The PKI fixture kit: certificates and keys made by make_kit.sh with the
// openssl command into a scratch folder of the build tree, once for all the
// test programs (a lock keeps parallel tests from making it twice).
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "KitFolder.h"
#include "TestText.h"
#include "core/text/ByteString.h"

namespace pkikit {

inline std::filesystem::path Script() { return testsupport::SourceDir() / "tests/netlib/pki/kit/make_kit.sh"; }

inline std::filesystem::path Folder() {
  const char* dir = std::getenv("PKI_KIT_DIR");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::temp_directory_path() / "tornell_pki_kit";
}

// The kit folder, made when missing or older than the script; empty when the
// tools are missing or the script fails.
inline std::string Ensure() {
  static std::string made = [] {
    if (!testsupport::HaveOpenssl() || !testsupport::HaveTool("/usr/bin/faketime") ||
        !testsupport::HaveTool("/usr/bin/flock")) {
      return std::string();
    }
    return testsupport::MakeKitFolder(Folder().string(), Script().string());
  }();
  return made;
}

inline std::string Path(const std::string& name) { return Ensure() + "/" + name; }

inline std::string Bytes(const std::string& name) { return testsupport::ReadFileText(Path(name)); }

inline int Load(const std::string& name, tornell::ByteString& out) {
  const std::string bytes = Bytes(name);
  return out.Set(bytes.data(), static_cast<int>(bytes.size()));
}

// Runs a command in the kit folder and returns its output.
inline std::string Run(const std::string& command, bool& ok) {
  return testsupport::RunInFolder(Ensure(), command, ok);
}

inline std::string Text(const tornell::ByteString& b) { return std::string(b.Data(), static_cast<size_t>(b.Length())); }
inline std::string HexOf(const tornell::ByteString& b) { return testsupport::Hex(Text(b)); }

// Hex without leading zeros, in lower case, for comparing numbers.
inline std::string Magnitude(std::string hex) {
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t first = hex.find_first_not_of('0');
  return first == std::string::npos ? "0" : hex.substr(first);
}

// The hex blocks of an openssl `-text` key listing, by field name; a small
// number given on its name's line as "(0x...)" is taken from there.
inline std::map<std::string, std::string> TextFields(const std::string& text) {
  std::map<std::string, std::string> fields;
  std::string name;
  for (const std::string& line : testsupport::Lines(text)) {
    if (line.empty()) continue;
    if (line[0] != ' ') {
      name = line.substr(0, line.find(':'));
      const size_t hex = line.find("(0x");
      if (hex != std::string::npos) fields[name] = line.substr(hex + 3, line.find(')') - hex - 3);
      continue;
    }
    for (char c : line) {
      if (c != ' ' && c != ':') fields[name] += c;
    }
  }
  return fields;
}

// The certificates of the kit, as DER.
inline const char* const kCertificates[] = {
    "rsa-root.der",  "rsa-int.der",  "rsa-leaf.der",  "p256-root.der",    "p256-int.der",    "p256-leaf.der",
    "p384-root.der", "p384-int.der", "p384-leaf.der", "p521-root.der",    "p521-int.der",    "p521-leaf.der",
    "dsa-root.der",  "dsa-int.der",  "dsa-leaf.der",  "ed25519-root.der", "ed25519-int.der", "ed25519-leaf.der",
    "v1.der",        "bmp.der",      "multi.der",     "printable.der",    "far.der",         "y49.der",
    "y50.der",       "explicit.der", "compressed.der", "k1.der"};

// Chain-verification and subject-alternative-name cases.
inline const char* const kChainCases[] = {"rsa-int-expired.der", "rsa-leaf-future.der", "self-leaf.der", "self-decoy.der", "san.der", "odd-san.der"};

inline const char* const kPrivateKeys[] = {"rsa.p8", "p256.p8", "p384.p8", "p521.p8", "dsa.p8", "ed25519.p8", "ed448.p8"};

}  // namespace pkikit
