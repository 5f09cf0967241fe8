#pragma once
// NTLM token provider owned by every socket object. Credentials, flags and the
// diagnostic text work now; token generation answers an error until the NTLM
// message engine is part of the library.

#include <cstdint>

#include "core/socket/TokenProvider.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"

namespace tornell {

class AuthTokenProvider : public TokenProvider {
 public:
  AuthTokenProvider();
  ~AuthTokenProvider() override;
  AuthTokenProvider(const AuthTokenProvider&) = delete;
  AuthTokenProvider& operator=(const AuthTokenProvider&) = delete;

  // A user written "DOMAIN\user" is split at its first backslash.
  int SetCredentials(const char* protocol, const char* user, const char* password) override;
  int SetServerSide(int flag) override;
  // Next token of the exchange as raw bytes; an empty input starts a new one.
  int GetToken(ByteString& out, const char* protocol, const char* server, ByteString& input,
               void* extra) override;
  const char* GetErrorText() const override { return errorText_.CStr(); }
  const char* GetDiagnosticText() const override { return diagnostics_.CStr(); }
  // This platform has no system security provider: the flag stays 0.
  int SetUseSystemSspi(int value) override;
  int GetUseSystemSspi() const override { return useSystemSspi_; }

 private:
  [[nodiscard]] int AppendParameters(const char* protocol, const char* server);

  ByteString protocol_;
  ByteString user_;
  ByteString domain_;
  SecretBytes password_;
  ByteString server_;
  ByteString errorText_;
  ByteString diagnostics_;
  uint8_t serverSide_ = 0;
  uint8_t useSystemSspi_ = 0;
};

}  // namespace tornell
