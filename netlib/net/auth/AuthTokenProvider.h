#pragma once
// The token provider every socket object owns: the built-in NTLM engine,
// which answers for "NTLM" and "Negotiate" alike, behind the socket core's
// interface.

#include <cstdint>

#include "core/socket/TokenProvider.h"
#include "core/text/ByteString.h"
#include "net/auth/NtlmProvider.h"

namespace tornell {

class AuthTokenProvider : public TokenProvider, public NtlmProvider {
 public:
  AuthTokenProvider() = default;
  ~AuthTokenProvider() override = default;

  // A user written "DOMAIN\user" is split at its first backslash.
  [[nodiscard]] int SetCredentials(const char* protocol, const char* user, const char* password) override;
  int SetServerSide(int flag) override;
  // Next token of the exchange as raw bytes; an empty input starts a new one.
  // The last argument is not used.
  [[nodiscard]] int GetToken(ByteString& out, const char* protocol, const char* server, ByteString& input,
               void* extra) override;
  const char* GetErrorText() const override { return NtlmProvider::GetErrorText(); }
  const char* GetDiagnosticText() const override { return NtlmProvider::GetDiagnosticText(); }
  // This platform has no system security provider: the flag stays 0.
  int SetUseSystemSspi(int value) override;
  int GetUseSystemSspi() const override { return useSystemSspi_; }

 private:
  uint8_t useSystemSspi_ = 0;
};

}  // namespace tornell
