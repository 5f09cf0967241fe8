#include "net/AuthTokenProvider.h"

#include <cstring>
#include <new>

#include "core/base/Status.h"

namespace tornell {

namespace {
const char kNoEngineText[] = "NTLM authentication tokens cannot be generated: no NTLM engine is available.";
}  // namespace

std::unique_ptr<TokenProvider> CreateTokenProvider() {
  return std::unique_ptr<TokenProvider>(new (std::nothrow) AuthTokenProvider());
}

// The name fits the inline buffer: setting it cannot fail.
AuthTokenProvider::AuthTokenProvider() { static_cast<void>(protocol_.Set("NTLM")); }

AuthTokenProvider::~AuthTokenProvider() = default;

int AuthTokenProvider::SetCredentials(const char* protocol, const char* user, const char* password) {
  int status = protocol_.Set(protocol);
  if (status == 0) status = password_.Set(password);
  domain_.Clear();
  user_.Clear();
  if (status != 0 || user == nullptr) return status;
  const char* slash = std::strchr(user, '\\');
  if (slash == nullptr) return user_.Set(user);
  status = domain_.Set(user, static_cast<int>(slash - user));
  if (status == 0) status = user_.Set(slash + 1);
  return status;
}

int AuthTokenProvider::SetServerSide(int flag) {
  serverSide_ = flag != 0 ? 1 : 0;
  return kStatusOk;
}

int AuthTokenProvider::SetUseSystemSspi(int) {
  useSystemSspi_ = 0;
  return kStatusOk;
}

int AuthTokenProvider::AppendParameters(const char* protocol, const char* server) {
  return diagnostics_.AppendFormat(
      "Getting authentication token.\r\nParameters:\r\n\tprotocol=\"%s\", user=\"%s\", "
      "domain=\"%s\", password(len)=\"%d\", server=\"%s\", server side=\"%s\"\r\n",
      protocol != nullptr ? protocol : "", user_.CStr(), domain_.CStr(), password_.Length(),
      server != nullptr ? server : "", serverSide_ != 0 ? "True" : "False");
}

int AuthTokenProvider::GetToken(ByteString& out, const char* protocol, const char* server,
                                ByteString& input, void*) {
  if (input.Length() == 0) diagnostics_.Clear();
  if (AppendParameters(protocol, server) != 0) return kStatusNoMemory;
  if (serverSide_ == 0) {
    if (server_.Set(server) != 0 || protocol_.Set(protocol) != 0) return kStatusNoMemory;
    // Until the NTLM messages exist an exchange cannot start; say so plainly
    // instead of sending a token the server would reject.
    out.Clear();
    TORNELL_TRY(errorText_.Set(kNoEngineText));
    return kStatusNotAvailable;
  }
  return diagnostics_.Append("Finished getting authentication token.\r\n") != 0 ? kStatusNoMemory : kStatusOk;
}

}  // namespace tornell
