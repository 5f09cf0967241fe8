#include "core/socket/SocketCore.h"

#include <sys/socket.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "core/base/Status.h"
#include "core/base/SystemErrorTexts.h"
#include "core/secure/SecureWipe.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {

const char kFipsText[] =
    "UseFIPSCompliantAPI is not applicable in this environment. The UseFIPSCompliantAPI setting "
    "may only be set if the OpenSSL FIPS Object Module is in use.";

// Content bytes of the Kerberos 5 mechanism OID 1.2.840.113554.1.2.2.
const unsigned char kKerberosOid[9] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x12, 0x01, 0x02, 0x02};

const char* BoolText(int value) { return value != 0 ? "True" : "False"; }

// The store password is a secret: its bytes are wiped before the block goes back.
void FreeSecretText(char*& text) {
  if (text == nullptr) return;
  SecureWipe(text, std::strlen(text));
  std::free(text);
  text = nullptr;
}

}  // namespace

SocketCore::SocketCore() : tokenProvider_(CreateTokenProvider()) { localIpv6_.sin6_family = AF_INET6; }

SocketCore::~SocketCore() { FreeSecretText(storePassword_); }

int SocketCore::Reset() {
  ComponentBase::Reset();
  timeout_ = 0;
  deadline_ = 0;
  idleTimeout_ = 0;
  idleDeadline_ = 0;
  deadlineArmedAt_ = 0;
  idleArmedAt_ = 0;
  selectWait_ = 20;
  descriptor_ = -1;
  millisecondsFlag_ = 0;
  localIpv4_.s_addr = 0;
  str2ipv6addr("", &localIpv6_, 0, 0);
  ipv6Text_[0] = 0;
  localHostSetting_.Clear();
  ipv6Mode_ = 0;
  ipv6Flag_ = 0;
  useGetAddrInfo_ = 1;
  tlsEnabled_ = 0;
  recordToString_ = 0;
  absoluteTimeout_ = 0;
  interruptRequest_ = 0;
  interrupted_ = 0;
  useInternalSecurity_ = 1;
  ignoreExternalEvents_ = 0;
  readPending_ = 0;
  externalLoop_ = 0;
  externalHandle_ = nullptr;
  eventDescriptor_ = -1;
  eventMessage_ = 0;
  eventMask_ = 0;
  // A level below 6 selects these sizes; this platform reports -1.
  receiveBufferSize_ = 65536;
  sendBufferSize_ = 65536;
  // A write to a closed peer must fail with a status, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  return kDone;
}

int SocketCore::HandleMessage(int, unsigned long, long) { return kStatusOk; }

int SocketCore::RegisterSocket(long, long, void*&) { return kStatusOk; }

const char* SocketCore::GetLocalHostSetting() { return localHostSetting_.CStr(); }

int SocketCore::DataHook(int, const char*, int length) { return length; }

int SocketCore::FireError(int, char*) { return kStatusOk; }

int SocketCore::OnDescriptorChange(int, int, void*) { return kStatusOk; }

// ---- settings ----------------------------------------------------------------

int SocketCore::SetSelectWaitMillis(int value) {
  selectWait_ = value;
  return kStatusOk;
}

int SocketCore::SetSslSecurityFlags(long flags) {
  sslSecurityFlags_ = static_cast<uint32_t>(flags);
  return kStatusOk;
}

int SocketCore::SetSslEnabledProtocols(int mask) {
  enabledProtocols_ = mask;
  return kStatusOk;
}

int SocketCore::SetSslEnableRenegotiation(int value) {
  renegotiation_ = value;
  return kStatusOk;
}

int SocketCore::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  // A True/False setting kept as 0 or 1.
  auto flag = [&](auto& field) {
    if (query) return SetConfigAnswer(answer, BoolText(field));
    field = setting->AsBool() ? 1 : 0;
    return kStatusOk;
  };
  // A text setting held as it was given.
  auto text = [&](auto& field) {
    if (query) return SetConfigAnswer(answer, field.CStr());
    return field.Set(setting->Value());
  };
  if (setting->NameIs("SelectWaitMillis")) {
    if (query) return SetConfigAnswer(answer, selectWait_);
    selectWait_ = setting->AsInt();
    return kStatusOk;
  }
  if (setting->NameIs("AbsoluteTimeout")) return flag(absoluteTimeout_);
  if (setting->NameIs("TimeoutInMilliseconds")) {
    if (query) return SetConfigAnswer(answer, static_cast<int>(millisecondsFlag_));
    // The Timeout keeps its number and changes its unit.
    const int current = GetTimeout();
    millisecondsFlag_ = setting->AsBool() ? 1 : 0;
    return SetTimeout(static_cast<unsigned>(current), 1);
  }
  if (setting->NameIs("WinsockStatus")) {
    if (query) return SetConfigAnswer(answer, GetWinsockStatus());
    return kStatusOk;
  }
  if (setting->NameIs("IgnoreExternalEvents")) return flag(ignoreExternalEvents_);
  if (setting->NameIs("UseFIPSCompliantAPI")) {
    TORNELL_TRY(SetConfigAnswer(answer, ""));
    return ReturnError(kStatusFailed, kFipsText);
  }
  if (setting->NameIs("SSLEnabledCipherSuites") || setting->NameIs("SSLAlgorithmList")) return text(cipherSuites_);
  if (setting->NameIs("SSLSecurityFlags")) {
    if (query) return SetConfigAnswer(answer, static_cast<int>(sslSecurityFlags_));
    sslSecurityFlags_ = static_cast<uint32_t>(setting->AsInt64());
    return kStatusOk;
  }
  if (setting->NameIs("SSLIncludeCertChain")) return flag(includeChain_);
  if (setting->NameIs("SSLEnabledProtocols")) {
    if (query) return SetConfigAnswer(answer, enabledProtocols_);
    enabledProtocols_ = static_cast<int>(static_cast<uint32_t>(setting->AsInt64()));
    return kStatusOk;
  }
  if (setting->NameIs("SSLEnableRenegotiation")) return flag(renegotiation_);
  if (setting->NameIs("UseIPv6")) {
    if (query) return SetConfigAnswer(answer, BoolText(ipv6Flag_));
    if (std::strcmp(setting->Value(), "2") == 0) {
      ipv6Flag_ = 1;
      ipv6Mode_ = 2;
    } else {
      ipv6Flag_ = setting->AsBool() ? 1 : 0;
      ipv6Mode_ = ipv6Flag_;
    }
    return kStatusOk;
  }
  if (setting->NameIs("UseGetAddrInfo")) return flag(useGetAddrInfo_);
  if (setting->NameIs("KerberosSPN")) return text(kerberosSpn_);
  if (setting->NameIs("UseSystemSSPI")) {
    if (!tokenProvider_) return kStatusNoMemory;
    if (query) return SetConfigAnswer(answer, BoolText(tokenProvider_->GetUseSystemSspi()));
    return tokenProvider_->SetUseSystemSspi(setting->AsBool() ? 1 : 0);
  }
  if (setting->NameIs("RecordToFile")) return text(recordFileName_);
  if (setting->NameIs("RecordToString")) {
    // The query reads the transcript itself; only "on" switches recording on.
    if (query) return SetConfigAnswer(answer, transcript_.CStr());
    recordToString_ = CompareNoCase(setting->Value(), "on") == 0 ? 1 : 0;
    return kStatusOk;
  }
  if (setting->NameIs("UseInternalSecurityAPI")) return flag(useInternalSecurity_);
  return ComponentBase::Config(setting, answer);
}

// ---- buffer sizes --------------------------------------------------------------

namespace {
int ApplyBufferSize(int descriptor, int option, long size) {
  if (size == 0 || descriptor == -1) return kStatusOk;
  const int value = static_cast<int>(size);
  if (setsockopt(descriptor, SOL_SOCKET, option, &value, sizeof value) != 0) return GetSystemError();
  return kStatusOk;
}
}  // namespace

int SocketCore::SetReceiveBufferSize(long size) {
  ClearError();
  receiveBufferSize_ = size;
  return ApplyBufferSize(descriptor_, SO_RCVBUF, size);
}

int SocketCore::SetSendBufferSize(long size) {
  ClearError();
  sendBufferSize_ = size;
  return ApplyBufferSize(descriptor_, SO_SNDBUF, size);
}

// ---- certificates ----------------------------------------------------------------

int SocketCore::SetSslCertStoreType(int type) {
  storeType_ = type;
  return kStatusOk;
}

int SocketCore::SetSslCertStorePassword(const char* text) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy == nullptr) return ReturnError(kStatusNoMemory, "Out of memory");
  std::memcpy(copy, text, n + 1);
  FreeSecretText(storePassword_);
  storePassword_ = copy;
  return kStatusOk;
}

int SocketCore::GetSslCertStore(char** data, int* length) {
  *data = storeBytes_;
  *length = storeLength_;
  return kStatusOk;
}

int SocketCore::SetSslCertStore(const char*, int) { return kStatusNotAvailable; }

int SocketCore::SetSslCertSubject(char*) { return kStatusNotAvailable; }

int SocketCore::GetSslCertEncoded(char** data, int* length) {
  *data = currentCertEncoded_;
  *length = currentCertLength_;
  return kStatusOk;
}

int SocketCore::SetSslCertEncoded(const char* bytes, int& length) {
  selectedCertIndex_ = -1;
  if (length != currentCertLength_) return kStatusNoCertificate;
  if (length == 0 || (bytes != nullptr && currentCertEncoded_ != nullptr &&
                      std::memcmp(bytes, currentCertEncoded_, static_cast<size_t>(length)) == 0)) {
    selectedCertIndex_ = 0;
    return kStatusOk;
  }
  return kStatusNoCertificate;
}

int SocketCore::LoadSslCertStoreFile(const char* path) {
  ByteString bytes;
  const int status = FileStream::ReadAll(path, bytes);
  if (status != 0) return ReturnError(status, "The certificate file could not be opened.");
  return SetSslCertStoreP7b(bytes.CStr(), bytes.Length());
}

int SocketCore::SetSslCertStoreP7b(const char*, int) {
  return ReturnError(kStatusNotAvailable, "P7B support is not available in the Unix edition.");
}

// ---- authentication ----------------------------------------------------------------

int SocketCore::SetAuthCredentials(const char* protocol, const char* user, const char* password) {
  if (!tokenProvider_) return kStatusNoMemory;
  return tokenProvider_->SetCredentials(protocol, user, password);
}

int SocketCore::GetAuthToken(ByteString& out, const char* protocol, const char* server,
                             const char* input) {
  out.Clear();
  if (!tokenProvider_) return kStatusNoMemory;
  tokenProvider_->SetServerSide(0);
  ByteString decoded;
  int status = decoded.Set(input);
  if (status == 0) status = decoded.Base64Decode(0);
  if (status != 0) return status;
  ByteString token;
  status = tokenProvider_->GetToken(token, protocol, server, decoded, nullptr);
  if (status != 0) return ReturnError(status, tokenProvider_->GetErrorText());
  return out.AppendBase64(token.Data(), token.Length(), 0, 64, 0);
}

int SocketCore::IsKerberosToken(const char* text) {
  ByteString decoded;
  if (decoded.Set(text) != 0 || decoded.Base64Decode(0) != 0) return 0;
  return decoded.FindBytes(kKerberosOid, sizeof kKerberosOid, 1) > 0 ? 1 : 0;
}

// ---- errors -------------------------------------------------------------------------

int SocketCore::SetSystemErrorText(int code) {
  SystemErrorTexts::SetErrorText(*this, code);
  return code;
}

int SocketCore::ReportError(int code) {
  if (code == 0) return kStatusOk;
  if (code == kStatusInterrupted) {
    SetErrorText("Interrupted.");
  } else if (code == kStatusNoMemory) {
    SetErrorText("Out of memory.");
  } else if (IsErrorTextEmpty()) {
    SystemErrorTexts::SetErrorText(*this, code);
  }
  return code;
}

// ---- text helpers -------------------------------------------------------------------

int SocketCore::CopyText(char* buffer, int capacity, int, const char* source) {
  if (source == nullptr || capacity < 1) return 0;
  size_t n = std::strlen(source);
  if (n > static_cast<size_t>(capacity - 1)) n = static_cast<size_t>(capacity - 1);
  std::memcpy(buffer, source, n);
  buffer[capacity - 1] = 0;
  buffer[n] = 0;
  return static_cast<int>(n);
}

int SocketCore::GetXmlElementText(const char* name, ByteString& document, ByteString& out) {
  const int nameLength = static_cast<int>(std::strlen(name));
  const char* doc = document.CStr();
  const int length = document.Length();
  int at = nameLength > 0 ? document.Find(name, 0) : -1;
  for (; at >= 0; at = document.Find(name, at + 1)) {
    const char before = at > 0 ? doc[at - 1] : 0;
    const char after = at + nameLength < length ? doc[at + nameLength] : 0;
    if ((before == '<' || before == ':') && (after == ' ' || after == '>')) break;
  }
  if (at < 0) return kStatusOk;
  int open = at;
  while (open > 0 && doc[open] != '<') --open;
  if (doc[open] != '<') return kStatusOk;
  ByteString closing;
  int status = closing.Set("</");
  if (status == 0) status = closing.Append(doc + open + 1, at + nameLength - open - 1);
  if (status != 0) return status;
  const int tagEnd = document.Find('>', at + nameLength);
  if (tagEnd < 0) return kStatusOk;
  const int end = document.Find(closing.CStr(), tagEnd + 1);
  if (end < 0) return kStatusOk;
  return out.Append(doc + tagEnd + 1, end - tagEnd - 1);
}

int LibraryStaticInit() { return kStatusOk; }

int LibraryStaticDestroy() { return CancelLookup(); }

}  // namespace tornell
