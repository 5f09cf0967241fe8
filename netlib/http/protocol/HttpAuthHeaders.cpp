// The Authorization and Proxy-Authorization texts the object builds itself:
// Basic from the credentials; a Proprietary text is sent as the caller set it.
#include "core/base/Status.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

namespace {

constexpr int kAuthUnnamed = 6;

int AppendBasic(ByteString& out, const char* user, const SecretBytes& password) {
  SecretBytes pair;
  TORNELL_TRY(pair.Set(user));
  TORNELL_TRY(pair.Append(":"));
  TORNELL_TRY(pair.Append(password.CStr(), password.Length()));
  TORNELL_TRY(out.Set("Basic "));
  return out.AppendBase64(pair.CStr(), pair.Length(), 0, 0, 0);
}

}  // namespace

int HttpProtocol::BuildAuthorization(int retry) {
  negotiateTokenReady_ = 0;
  if (authScheme_ == kAuthProprietary || authScheme_ == kAuthUnnamed) return 0;
  authorization_.Clear();
  if (target_.User().IsEmpty() && target_.Password().IsEmpty() && authScheme_ != kAuthNtlm &&
      authScheme_ != kAuthNegotiate) {
    return 0;
  }
  // Digest, NTLM and Negotiate values come from their own engines.
  if (authScheme_ != kAuthBasic) return 0;
  if (retry != 0) TORNELL_TRY(log_.Log2("AuthScheme: ", "Basic", "Info"));
  TORNELL_TRY(AppendBasic(authorization_, target_.User().CStr(), target_.Password()));
  if (retry != 0) TORNELL_TRY(log_.Log2("Authorization: ", authorization_.CStr(), "Info"));
  return 0;
}

int HttpProtocol::BuildProxyAuthorization(int retry) {
  if (proxyAuthScheme_ == kAuthProprietary) return 0;
  proxyAuthorization_.Clear();
  if (proxyAuthScheme_ != kAuthBasic) return 0;
  if (retry != 0) TORNELL_TRY(log_.Log2("Proxy AuthScheme: ", AuthSchemeName(proxyAuthScheme_), "Info"));
  if (proxyUser_.IsEmpty() && proxyPassword_.IsEmpty()) return 0;
  TORNELL_TRY(AppendBasic(proxyAuthorization_, proxyUser_.CStr(), proxyPassword_));
  if (retry != 0) TORNELL_TRY(log_.Log2("Authorization: ", proxyAuthorization_.CStr(), "Info"));
  return 0;
}

}  // namespace tornell
