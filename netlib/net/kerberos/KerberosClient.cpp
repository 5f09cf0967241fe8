#include "net/kerberos/KerberosClient.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/base/ConfigSetting.h"
#include "core/base/Status.h"
#include "net/kerberos/KerberosTables.h"

namespace tornell {

namespace {

constexpr int kKdcPort = 88;
constexpr unsigned kDefaultTimeoutSeconds = 60;
constexpr uint8_t kDefaultEtypes[] = {kKerberosEtypeDesCbcMd5, kKerberosEtypeRc4Hmac, kKerberosEtypeAes128};

const char* TrueFalse(int value) { return value != 0 ? "True" : "False"; }

// Each byte widened with a zero high byte, whatever the code page.
int KerberosPasswordUtf16(const ByteString& password, SecretBytes& out) {
  TORNELL_TRY(out.Resize(password.Length() * 2));
  for (int i = 0; i < password.Length(); ++i) {
    out.Data()[2 * i] = password.Data()[i];
    out.Data()[2 * i + 1] = 0;
  }
  return kStatusOk;
}

}  // namespace

// The base's reset only: the client's lists stay empty until Init.
KerberosClient::KerberosClient() { static_cast<void>(UDPPort::Reset()); }

KerberosClient::~KerberosClient() = default;

int KerberosClient::Init() {
  if (UDPPort::Reset() != kStatusOk) return 0;
  resultCode_ = 0;
  SetTimeout(kDefaultTimeoutSeconds, 1);
  if (SetRemotePort(kKdcPort) != kStatusOk) return 0;
  return Reset() == kStatusOk ? 1 : 0;
}

int KerberosClient::Reset() {
  state_ = kKerberosIdle;
  etype_ = -1;
  usePlatformApi_ = 0;
  logPackets_ = 0;
  encodeAuthToken_ = 0;
  kdcOptions_ = 0;
  ByteString* cleared[] = {&password_, &realm_, &user_, &servicePrincipal_, &ticket_, &sessionKey_,
                           &receiveBuffer_, &apReqToken_, &authToken_, &salt_, &subkey_, &resultText_};
  for (ByteString* field : cleared) field->Clear();
  TORNELL_TRY(etypeList_.Set(kDefaultEtypes, sizeof kDefaultEtypes));
  resultCode_ = 0;
  return kStatusOk;
}

int KerberosClient::SetUser(const char* text) {
  if (text == nullptr) text = "";
  const char* at = std::strchr(text, '@');
  if (at != nullptr) {
    TORNELL_TRY(user_.Set(text, static_cast<int>(at - text)));
    return realm_.Set(at + 1);
  }
  const char* slash = std::strchr(text, '/');
  if (slash != nullptr) {
    TORNELL_TRY(realm_.Set(text, static_cast<int>(slash - text)));
    return user_.Set(slash + 1);
  }
  realm_.Clear();
  return user_.Set(text);
}

int KerberosClient::GetAuthToken(const char*& data, int& length) {
  ByteString token;
  if (encodeAuthToken_ != 0) {
    TORNELL_TRY(token.AppendBase64(apReqToken_.Data(), apReqToken_.Length(), 0, INT_MAX, 0));
  } else {
    TORNELL_TRY(token.Assign(apReqToken_));
  }
  authToken_ = static_cast<ByteString&&>(token);
  data = authToken_.Data();
  length = authToken_.Length();
  return kStatusOk;
}

int KerberosClient::GetEncryptionTypes(ByteString& out) {
  out.Clear();
  for (int i = 0; i < etypeList_.Length(); ++i) {
    if (i > 0) TORNELL_TRY(out.Append(","));
    TORNELL_TRY(out.Append(net::kerberosEtypeName(etypeList_.Bytes()[i])));
  }
  return kStatusOk;
}

int KerberosClient::SetEncryptionTypes(const char* text) {
  etypeList_.Clear();
  if (text == nullptr) text = "";
  if (std::strcmp(text, "*") == 0) return etypeList_.Set(kDefaultEtypes, sizeof kDefaultEtypes);
  for (const char* piece = text;;) {
    const char* comma = std::strchr(piece, ',');
    ByteString name;
    TORNELL_TRY(comma != nullptr ? name.Set(piece, static_cast<int>(comma - piece)) : name.Set(piece));
    const int etype = net::kerberosEtypeFromName(name.CStr());
    if (etype < 0) {
      SetErrorText("Invalid encryption type: ");
      AppendErrorText(name.CStr());
      return kStatusKerberosUnsupportedEtype;
    }
    TORNELL_TRY(etypeList_.AppendByte(etype));
    if (comma == nullptr) return kStatusOk;
    piece = comma + 1;
  }
}

int KerberosClient::SetEtype(int etype) {
  etype_ = etype;
  if (keytab_.GetFileName()[0] == '\0') return kStatusOk;
  // Nothing selected yet: the realm given with the user name stays.
  if (keytab_.GetSelectedRealm()[0] == '\0') return kStatusOk;
  TORNELL_TRY(realm_.Set(keytab_.GetSelectedRealm()));
  return servicePrincipal_.Set(keytab_.GetSelectedPrincipal());
}

int KerberosClient::ClientKey(int etype, const ByteString& s2kparams, SecretBytes& key) {
  if (keytab_.GetFileName()[0] != '\0') {
    if (keytab_.GetSelectedKey().IsEmpty()) static_cast<void>(keytab_.SelectKey(etype));
    TORNELL_TRY(key.Assign(keytab_.GetSelectedKey()));
  } else if (etype == kKerberosEtypeRc4Hmac) {
    SecretBytes material;
    TORNELL_TRY(KerberosPasswordUtf16(password_, material));
    TORNELL_TRY(StringToKey(etype, material, salt_, s2kparams, key));
  } else {
    TORNELL_TRY(StringToKey(etype, password_, salt_, s2kparams, key));
  }
  // The key itself stays out of the log.
  return LogFormat(3, "Kerberos Key Hex String:\r\n(%d bytes)", key.Length());
}

// ---- exchange ----------------------------------------------------------------

int KerberosClient::LogFormat(int level, const char* format, ...) {
  ByteString text;
  va_list args;
  va_start(args, format);
  const int status = text.AppendFormatV(format, args);
  va_end(args);
  TORNELL_TRY(status);
  return OnLog(level, text.CStr(), "Kerberos");
}

int KerberosClient::LogPacket(int direction, const char* name, const ByteString& packet) {
  ByteString text;
  TORNELL_TRY(text.Set(name));
  TORNELL_TRY(text.Append(".\r\n"));
  if (logPackets_ != 0) {
    TORNELL_TRY(text.AppendHexDump(packet.Data(), packet.Length()));
    TORNELL_TRY(text.Append("\r\n"));
  }
  return OnPacketLog(direction, text.CStr());
}

int KerberosClient::SendRequest(const ByteString& request) { return Send(request.Data(), request.Length()); }

int KerberosClient::Authenticate() {
  if (usePlatformApi_ != 0) {
    return ReturnError(kStatusKerberosPlatformApi, "This platform's Kerberos API is not supported.");
  }
  if (state_ != kKerberosIdle) return ReturnError(kStatusKerberosBusy, "Busy performing other action.");
  interruptRequest_ = 0;
  interrupted_ = 0;
  resultCode_ = 0;
  ByteString* cleared[] = {&resultText_, &receiveBuffer_, &sessionKey_, &ticket_, &apReqToken_,
                           &authToken_,  &salt_,          &subkey_};
  for (ByteString* field : cleared) field->Clear();
  preauthSent_ = false;
  if (user_.IsEmpty() || realm_.IsEmpty()) return ReturnError(kStatusKerberosInvalidUser, "Invalid username.");
  TORNELL_TRY(LogFormat(1, "Authenticate start. (KerberosKDC: %s).", GetKdcHost()));
  ByteString request;
  TORNELL_TRY(BuildKdcRequest(kKerberosAsReq, true, request));
  TORNELL_TRY(LogPacket(0, "KRB_AS_REQ", request));
  state_ = kKerberosAsSent;
  const int status = RunExchange(request);
  state_ = kKerberosIdle;
  receiveBuffer_.Clear();
  interruptRequest_ = 0;
  interrupted_ = 0;
  resultCode_ = 0;
  resultText_.Clear();
  if (status != kStatusOk) {
    ByteString saved;
    static_cast<void>(saved.Set(GetLastErrorText()));
    static_cast<void>(SetActive(false));
    SetErrorText(saved.CStr());
    return status;
  }
  TORNELL_TRY(SetActive(false));
  ClearError();
  return kStatusOk;
}

int KerberosClient::RunExchange(const ByteString& firstRequest) {
  TORNELL_TRY(SetActive(true));
  TORNELL_TRY(SendRequest(firstRequest));
  StartTimeout();
  ByteString request;
  for (;;) {
    switch (state_) {
      case kKerberosAsDone:
        state_ = kKerberosTgsSent;
        TORNELL_TRY(BuildKdcRequest(kKerberosTgsReq, false, request));
        TORNELL_TRY(LogPacket(0, "KRB_TGS_REQ", request));
        TORNELL_TRY(SendRequest(request));
        break;
      case kKerberosTgsDone: {
        state_ = kKerberosTokenBuilt;
        ByteString apReq;
        TORNELL_TRY(BuildApReq(apReq, ByteString(), false));
        TORNELL_TRY(WrapGssToken(apReq, apReqToken_));
        break;
      }
      case kKerberosPreauthRequired:
        TORNELL_TRY(BuildKdcRequest(kKerberosAsReq, false, request));
        TORNELL_TRY(LogPacket(0, "KRB_AS_REQ", request));
        TORNELL_TRY(SendRequest(request));
        state_ = kKerberosAsSent;
        preauthSent_ = true;
        break;
      default: break;
    }
    if (DoEvents(GetSelectWaitMillis(), nullptr) == kWaitStop) return kStatusInterrupted;
    if (resultCode_ != 0) {
      SetErrorText(resultText_.CStr());
      return resultCode_;
    }
    if (state_ == kKerberosTokenBuilt) return kStatusOk;
  }
}

int KerberosClient::OnDataIn(const char* data, int length, const char*, int) {
  if (state_ != kKerberosAsSent && state_ != kKerberosTgsSent) return kStatusOk;
  int status = receiveBuffer_.Set(data, length);
  if (status == kStatusOk) status = ProcessReply(receiveBuffer_);
  receiveBuffer_.Clear();
  if (status == kStatusOk) {
    if (state_ == kKerberosAsSent) state_ = kKerberosAsDone;
    if (state_ == kKerberosTgsSent) state_ = kKerberosTgsDone;
    return kStatusOk;
  }
  resultCode_ = status;
  static_cast<void>(resultText_.Set(GetLastErrorText()));
  return status;
}

// ---- configuration -------------------------------------------------------------

int KerberosClient::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  auto flag = [&](int& field) {
    if (query) return SetConfigAnswer(answer, TrueFalse(field));
    field = setting->AsBool() ? 1 : 0;
    return kStatusOk;
  };
  if (setting->NameIs("LogKerberosPackets")) return flag(logPackets_);
  if (setting->NameIs("EncryptionTypes")) {
    if (!query) return SetEncryptionTypes(setting->Value());
    ByteString names;
    TORNELL_TRY(GetEncryptionTypes(names));
    return SetConfigAnswer(answer, names.CStr());
  }
  if (setting->NameIs("UsePlatformKerberosAPI")) return flag(usePlatformApi_);
  if (setting->NameIs("LocalHost")) {
    if (query) return SetConfigAnswer(answer, GetLocalHost());
    return SetLocalHost(setting->Value());
  }
  if (setting->NameIs("LocalPort")) {
    if (query) return SetConfigAnswer(answer, GetLocalPort());
    return SetLocalPort(setting->AsInt());
  }
  if (setting->NameIs("KDCOptions")) {
    if (query) return SetConfigAnswer(answer, static_cast<unsigned long>(kdcOptions_));
    kdcOptions_ = setting->AsUnsigned();
    return kStatusOk;
  }
  if (setting->NameIs("EncodeAuthToken")) return flag(encodeAuthToken_);
  if (setting->NameIs("KerberosKeytabFile")) {
    if (query) return SetConfigAnswer(answer, GetKeytabFile());
    TORNELL_TRY(keytab_.SetFileName(setting->Value()));
    TORNELL_TRY(keytab_.Load());
    // The file holds keys: its size is logged, never its bytes.
    struct stat info{};
    if (::stat(keytab_.GetFileName(), &info) != 0) return errno;
    return LogFormat(3, "Kerberos KeytabFile Hex String:\r\n(%lld bytes)", static_cast<long long>(info.st_size));
  }
  return ComponentBase::Config(setting, answer);
}

}  // namespace tornell
