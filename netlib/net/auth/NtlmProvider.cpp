#include "net/auth/NtlmProvider.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell {

int NtlmProvider::SetCredentials(const char*, const char* user, const char* password) {
  TORNELL_TRY(password_.Set(password));
  domain_.Clear();
  TORNELL_TRY(user_.Set(user));
  const char* text = user != nullptr ? user : "";
  const char* slash = std::strchr(text, '\\');
  if (slash == nullptr) return kStatusOk;
  TORNELL_TRY(domain_.Set(text, static_cast<int>(slash - text)));
  return user_.Set(slash + 1);
}

int NtlmProvider::SetServerSide(int flag) {
  serverSide_ = flag != 0 ? 1 : 0;
  return kStatusOk;
}

int NtlmProvider::SetError(int code, const char* text) {
  TORNELL_TRY(errorText_.Set(text));
  return code;
}

void NtlmProvider::SetClientChallenge(const uint8_t challenge[kChallengeBytes]) {
  std::memcpy(fixedChallenge_, challenge, kChallengeBytes);
  useFixedChallenge_ = true;
}

int NtlmProvider::AppendParameters(const char* protocol, const char* server) {
  // The password's length only: the log is handed to the application.
  return log_.AppendFormat(
      "Getting authentication token.\r\nParameters:\r\n\tprotocol=\"%s\", user=\"%s\", "
      "domain=\"%s\", password(len)=\"%d\", server=\"%s\", server side=\"%s\"\r\n",
      protocol != nullptr ? protocol : "", user_.CStr(), domain_.CStr(), password_.Length(),
      server != nullptr ? server : "", serverSide_ != 0 ? "True" : "False");
}

int NtlmProvider::GetToken(ByteString& out, const char* protocol, const char* server,
                           const ByteString& input) {
  if (input.IsEmpty()) log_.Clear();
  TORNELL_TRY(AppendParameters(protocol, server));
  if (serverSide_ == 0) {
    if (!input.IsEmpty()) {
      TORNELL_TRY(log_.Append("Input token - "));
      // The description is for the reader of the log; the exchange never
      // depends on it.
      (void)DumpToken(input, log_);
      TORNELL_TRY(log_.Append("Generating authentication data.\r\n"));
      TORNELL_TRY(ProcessChallenge(out, input));
    } else {
      TORNELL_TRY(log_.Append("Generating negotiate data.\r\n"));
      TORNELL_TRY(BuildNegotiate(out));
    }
    if (!out.IsEmpty()) {
      TORNELL_TRY(log_.Append("Generated token - "));
      (void)DumpToken(out, log_);
    }
  }
  return log_.Append("Finished getting authentication token.\r\n");
}

}  // namespace tornell
