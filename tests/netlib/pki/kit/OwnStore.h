#pragma once
// A kit leaf with its private key as the stores the certificate manager
// reads: a PEM text (key, then certificate) and a PKCS#12 file made by
// `openssl pkcs12 -export`.
#include <string>

#include "PkiKit.h"
#include "TestText.h"

namespace pkikit {

constexpr const char* kStorePassword = "store pw";

inline std::string PemStore(const std::string& kind) { return Bytes(kind + "-leaf.key") + Bytes(kind + "-leaf.crt"); }

// Empty when openssl fails.
inline std::string Pkcs12Store(const std::string& kind) {
  testsupport::TempFile out;
  bool ok = false;
  testsupport::RunCommand("openssl pkcs12 -export -inkey '" + Path(kind + "-leaf.key") + "' -in '" +
                              Path(kind + "-leaf.crt") + "' -passout 'pass:" + kStorePassword + "' -out '" +
                              out.Path() + "' 2>/dev/null",
                          ok);
  return ok ? testsupport::ReadFileText(out.Path()) : std::string();
}

}  // namespace pkikit
