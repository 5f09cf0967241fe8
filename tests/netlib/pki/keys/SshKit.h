#pragma once
// The SSH key fixture kit: keys made by make_ssh_kit.sh with ssh-keygen,
// puttygen and openssl, once for all the test programs (a lock keeps
// parallel tests from making it twice).
#include <filesystem>
#include <string>

#include "../kit/PkiKit.h"
#include "KitFolder.h"
#include "TestSupport.h"
#include "TestText.h"

namespace sshkit {

constexpr const char* kPassword = "kit-pass";
constexpr const char* kMissing = "ssh-keygen, puttygen, openssl or flock missing, or make_ssh_kit.sh failed";

inline std::filesystem::path Folder() {
  const char* dir = std::getenv("SSH_KIT_DIR");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir)
                                        : std::filesystem::temp_directory_path() / "tornell_ssh_kit";
}

// The kit folder, made when missing or older than the script; empty when a
// tool is missing or the script fails.
inline std::string Ensure() {
  static std::string made = [] {
    if (!testsupport::HaveOpenssl() || !testsupport::HaveTool("/usr/bin/ssh-keygen") ||
        !testsupport::HaveTool("/usr/bin/puttygen") || !testsupport::HaveTool("/usr/bin/flock")) {
      return std::string();
    }
    return testsupport::MakeKitFolder(Folder().string(),
                                      (testsupport::SourceDir() / "tests/netlib/pki/keys/make_ssh_kit.sh").string());
  }();
  return made;
}

inline std::string Path(const std::string& name) { return Ensure() + "/" + name; }
inline std::string Bytes(const std::string& name) { return testsupport::ReadFileText(Path(name)); }

// Runs a command in the kit folder and returns its output.
inline std::string Run(const std::string& command, bool& ok) {
  return testsupport::RunInFolder(Ensure(), command, ok);
}

}  // namespace sshkit
