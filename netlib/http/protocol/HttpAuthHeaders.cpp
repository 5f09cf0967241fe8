// The Authorization and Proxy-Authorization texts the object builds itself:
// Basic from the credentials, Digest through the two authenticators, NTLM and
// Negotiate tokens through the socket core's token provider, or Negotiate
// through the built-in Kerberos client. A Proprietary text is sent as the
// caller set it.
#include <cstdio>
#include <cstring>

#include "core/base/Status.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

namespace {

constexpr int kAuthUnnamed = 6;
constexpr int kStatusAuthFailed = 151;

int AppendBasic(ByteString& out, const char* user, const SecretBytes& password) {
  SecretBytes pair;
  TORNELL_TRY(pair.Set(user));
  TORNELL_TRY(pair.Append(":"));
  TORNELL_TRY(pair.Append(password.CStr(), password.Length()));
  TORNELL_TRY(out.Set("Basic "));
  return out.AppendBase64(pair.CStr(), pair.Length(), 0, 0, 0);
}

}  // namespace

int HttpProtocol::TakeDigestChallenge(DigestAuthenticator& digest, uint8_t& taken, const char* text) {
  if (taken != 0) return kStatusOk;
  // An unusable challenge is kept only until a usable one arrives; building
  // the answer then reports why it could not be answered.
  const int status = digest.ParseChallenge(text);
  if (status == kStatusNoMemory) return status;
  if (status == kStatusOk && digest.KnownAlgorithm()) taken = 1;
  return kStatusOk;
}

int HttpProtocol::BuildDigest(DigestAuthenticator& digest, const char* user, const SecretBytes& password,
                              bool withAlgorithm, ByteString& out) {
  const int userLength = static_cast<int>(std::strlen(user));
  int status = digest.SetCredentials(user, userLength, password.CStr(), password.Length());
  if (status == kStatusOk) {
    status = digest.SetRequest(requestMethod_.CStr(), target_.Path().CStr(), postData_.CStr(), postData_.Length());
  }
  if (status == kStatusOk) status = digest.BuildAuthorization(out, withAlgorithm);
  if (status != kStatusOk) return ReturnError(kStatusAuthFailed, digest.GetErrorText());
  return kStatusOk;
}

int HttpProtocol::BuildNtlmToken(const char* user, const SecretBytes& password, const char* server,
                                 const char* challenge, int retry, ByteString& out) {
  if (challenge[0] == '\0') TORNELL_TRY(SetAuthCredentials("NTLM", user, password.CStr()));
  TORNELL_TRY(GetAuthToken(out, "NTLM", server, challenge));
  if (retry != 0) TORNELL_TRY(log_.Log2("", GetAuthDiagnostics(), "Info"));
  return kStatusOk;
}

int HttpProtocol::BuildNegotiateToken(int retry, ByteString& out) {
  ByteString spn;
  if (!kerberosSpn_.IsEmpty()) {
    TORNELL_TRY(spn.Set(kerberosSpn_.CStr()));
  } else {
    TORNELL_TRY(spn.Set("HTTP/"));
    TORNELL_TRY(spn.Append(target_.Server().CStr()));
  }
  if (useInternalKerberos_ != 0 || kdc_.GetKeytabFile()[0] != '\0') return BuildKerberosToken(spn, out);
  if (pendingAuth_.IsEmpty()) {
    TORNELL_TRY(SetAuthCredentials("Negotiate", target_.User().CStr(), target_.Password().CStr()));
    TORNELL_TRY(GetAuthToken(out, "Negotiate", spn.CStr(), ""));
    negotiateTokenReady_ = IsKerberosToken(out.CStr());
  } else {
    TORNELL_TRY(GetAuthToken(out, "Negotiate", spn.CStr(), pendingAuth_.CStr()));
  }
  if (retry != 0) TORNELL_TRY(log_.Log2("", GetAuthDiagnostics(), "Info"));
  return kStatusOk;
}

int HttpProtocol::BuildKerberosToken(const ByteString& spn, ByteString& out) {
  // A failing step reports the Kerberos client's code and text.
  auto step = [this](int status) {
    return status == kStatusOk ? status : ReturnError(status, kdc_.GetLastErrorText());
  };
  // A keytab brings its own key, and its entry names the service.
  if (kdc_.GetKeytabFile()[0] == '\0') {
    TORNELL_TRY(step(kdc_.SetPassword(target_.Password().CStr())));
    TORNELL_TRY(step(kdc_.SetServicePrincipal(spn.CStr())));
  }
  TORNELL_TRY(step(kdc_.SetUser(target_.User().CStr())));
  const char* kdcHost = !kerberosKdc_.IsEmpty() ? kerberosKdc_.CStr() : target_.Server().CStr();
  TORNELL_TRY(step(kdc_.SetKdcHost(kdcHost)));
  static_cast<void>(kdc_.SetEncodeAuthToken(1));
  TORNELL_TRY(step(kdc_.Authenticate()));
  const char* token = nullptr;
  int length = 0;
  TORNELL_TRY(step(kdc_.GetAuthToken(token, length)));
  TORNELL_TRY(out.Set(token, length));
  negotiateTokenReady_ = IsKerberosToken(out.CStr());
  return kStatusOk;
}

int HttpProtocol::BuildAuthorization(int retry) {
  negotiateTokenReady_ = 0;
  if (authScheme_ == kAuthProprietary || authScheme_ == kAuthUnnamed) return 0;
  authorization_.Clear();
  if (target_.User().IsEmpty() && target_.Password().IsEmpty() && authScheme_ != kAuthNtlm &&
      authScheme_ != kAuthNegotiate) {
    return 0;
  }
  const char* name = AuthSchemeName(authScheme_);
  switch (authScheme_) {
    case kAuthBasic:
      if (retry != 0) TORNELL_TRY(log_.Log2("AuthScheme: ", name, "Info"));
      TORNELL_TRY(AppendBasic(authorization_, target_.User().CStr(), target_.Password()));
      break;
    case kAuthDigest: {
      if (retry != 0) TORNELL_TRY(log_.Log2("AuthScheme: ", name, "Info"));
      ByteString value;
      TORNELL_TRY(BuildDigest(serverDigest_, target_.User().CStr(), target_.Password(), true, value));
      TORNELL_TRY(authorization_.Set(value.CStr()));
      break;
    }
    case kAuthNtlm:
    case kAuthNegotiate: {
      if (retry != 0) TORNELL_TRY(log_.Log2("AuthScheme: ", name, "Info"));
      ByteString token;
      if (authScheme_ == kAuthNtlm) {
        TORNELL_TRY(BuildNtlmToken(target_.User().CStr(), target_.Password(), target_.Server().CStr(),
                                   pendingAuth_.CStr(), retry, token));
      } else {
        TORNELL_TRY(BuildNegotiateToken(retry, token));
      }
      TORNELL_TRY(authorization_.Set(name));
      TORNELL_TRY(authorization_.Append(" "));
      TORNELL_TRY(authorization_.Append(token.CStr()));
      break;
    }
    default:
      break;
  }
  if (retry != 0) TORNELL_TRY(log_.Log2("Authorization: ", authorization_.CStr(), "Info"));
  return 0;
}

int HttpProtocol::BuildProxyAuthorization(int retry) {
  if (proxyAuthScheme_ == kAuthProprietary) return 0;
  proxyAuthorization_.Clear();
  const char* name = AuthSchemeName(proxyAuthScheme_);
  const bool logged = proxyAuthScheme_ == kAuthBasic || proxyAuthScheme_ == kAuthDigest || proxyAuthScheme_ == kAuthNtlm;
  if (retry != 0 && logged) TORNELL_TRY(log_.Log2("Proxy AuthScheme: ", name, "Info"));
  switch (proxyAuthScheme_) {
    case kAuthBasic:
      if (proxyUser_.IsEmpty() && proxyPassword_.IsEmpty()) return 0;
      TORNELL_TRY(AppendBasic(proxyAuthorization_, proxyUser_.CStr(), proxyPassword_));
      break;
    case kAuthDigest: {
      ByteString value;
      TORNELL_TRY(BuildDigest(proxyDigest_, proxyUser_.CStr(), proxyPassword_, false, value));
      TORNELL_TRY(proxyAuthorization_.Set(value.CStr()));
      break;
    }
    case kAuthNtlm: {
      ByteString token;
      TORNELL_TRY(BuildNtlmToken(proxyUser_.CStr(), proxyPassword_, proxyServer_.CStr(), pendingProxyAuth_.CStr(),
                                 retry, token));
      TORNELL_TRY(proxyAuthorization_.Set("NTLM "));
      TORNELL_TRY(proxyAuthorization_.Append(token.CStr()));
      break;
    }
    default:
      break;
  }
  if (retry == 0 || name[0] == '\0') return 0;
  TORNELL_TRY(log_.Log2("Authorization: ", proxyAuthorization_.CStr(), "Info"));
  if (log_.Level() < 2) return 0;
  ByteString line;
  char port[16];
  std::snprintf(port, sizeof port, "%d", proxyPort_);
  TORNELL_TRY(line.Set("Authenticating to Proxy: Server '"));
  TORNELL_TRY(line.Append(proxyServer_.CStr()));
  TORNELL_TRY(line.Append("' on port "));
  TORNELL_TRY(line.Append(port));
  TORNELL_TRY(line.Append(" with AuthScheme "));
  TORNELL_TRY(line.Append(name));
  TORNELL_TRY(line.Append(". User:'"));
  TORNELL_TRY(line.Append(proxyUser_.CStr()));
  TORNELL_TRY(line.Append("', Password:'"));
  for (int i = 0; i < proxyPassword_.Length(); ++i) TORNELL_TRY(line.Append("x"));
  TORNELL_TRY(line.Append("'"));
  return LogText(2, line.CStr(), "Info");
}

}  // namespace tornell
