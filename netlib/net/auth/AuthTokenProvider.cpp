#include "net/auth/AuthTokenProvider.h"

#include <new>

#include "core/base/Status.h"

namespace tornell {

std::unique_ptr<TokenProvider> CreateTokenProvider() {
  return std::unique_ptr<TokenProvider>(new (std::nothrow) AuthTokenProvider());
}

int AuthTokenProvider::SetCredentials(const char* protocol, const char* user, const char* password) {
  return NtlmProvider::SetCredentials(protocol, user, password);
}

int AuthTokenProvider::SetServerSide(int flag) { return NtlmProvider::SetServerSide(flag); }

int AuthTokenProvider::GetToken(ByteString& out, const char* protocol, const char* server,
                                ByteString& input, void*) {
  return NtlmProvider::GetToken(out, protocol, server, input);
}

int AuthTokenProvider::SetUseSystemSspi(int) {
  useSystemSspi_ = 0;
  return kStatusOk;
}

}  // namespace tornell
