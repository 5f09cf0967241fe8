#pragma once
// What the socket core asks of the authentication token provider it owns. The
// provider lives in the connection layer (NTLM, Negotiate); the socket core
// reaches it only through this interface, so core never includes that layer.
#include <memory>

#include "core/text/ByteString.h"

namespace tornell {

class TokenProvider {
 public:
  virtual ~TokenProvider() = default;

  // A user written "DOMAIN\user" is split at its first backslash.
  [[nodiscard]] virtual int SetCredentials(const char* protocol, const char* user, const char* password) = 0;
  virtual int SetServerSide(int flag) = 0;
  // Next token of the exchange as raw bytes; an empty input starts a new one.
  [[nodiscard]] virtual int GetToken(ByteString& out, const char* protocol, const char* server, ByteString& input,
                       void* extra) = 0;
  virtual const char* GetErrorText() const = 0;
  virtual const char* GetDiagnosticText() const = 0;
  virtual int SetUseSystemSspi(int value) = 0;
  virtual int GetUseSystemSspi() const = 0;
};

// Made by the connection layer; null only when memory ran out.
std::unique_ptr<TokenProvider> CreateTokenProvider();

}  // namespace tornell
