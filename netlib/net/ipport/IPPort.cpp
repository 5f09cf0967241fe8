#include "net/ipport/IPPort.h"

#include <new>

#include "core/base/Status.h"
#include "net/ipport/IPPortEntry.h"

namespace tornell {

IPPort::IPPort(EventCallback callback, void* context) : IPPortBase(callback, context) {
  core_.SetEventSink(static_cast<IPPortBase*>(this));
  static_cast<void>(core_.Init());
  // Defaults through the property setters; their results do not matter here.
  static_cast<void>(core_.SetEol("", 0));
  static_cast<void>(core_.SetFirewallAutoDetect(0));
  static_cast<void>(core_.SetFirewallType(0));
  static_cast<void>(core_.SetFirewallHost(""));
  static_cast<void>(core_.SetFirewallPassword(""));
  static_cast<void>(core_.SetFirewallPort(0));
  static_cast<void>(core_.SetFirewallUser(""));
  static_cast<void>(core_.SetKeepAlive(0));
  static_cast<void>(core_.SetLinger(1));
  static_cast<void>(core_.SetLocalPort(0));
  static_cast<void>(core_.SetRemoteHost(""));
  static_cast<void>(core_.SetRemotePort(0));
  static_cast<void>(core_.SetSslCertStorePassword(""));
  static_cast<void>(core_.SetSslCertStoreType(0));
  static_cast<void>(core_.SetSslCertStore("MY", 2));
  char noSubject[1] = {0};
  static_cast<void>(core_.SetSslCertSubject(noSubject));
  static_cast<void>(core_.SetTlsStartMode(3));
  static_cast<void>(core_.SetTimeout(60, 0));
}

IPPort::~IPPort() { core_.SetEventSink(nullptr); }

// ---- events ------------------------------------------------------------------------------

int IPPort::FireConnected(int& statusCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackInt(statusCode), PackText(description)};
  int lengths[2] = {0, 0};
  return Raise(kIPPortConnected, 2, argv, lengths);
}

int IPPort::FireConnectionStatus(const char*& event, int& statusCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[3] = {PackText(event), PackInt(statusCode), PackText(description)};
  int lengths[3] = {0, 0, 0};
  return Raise(kIPPortConnectionStatus, 3, argv, lengths);
}

int IPPort::FireDataIn(const char*& text, int& length, int& eol) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackText(text), PackInt(eol)};
  int lengths[2] = {length, 0};
  return Raise(kIPPortDataIn, 2, argv, lengths);
}

int IPPort::FireDisconnected(int& statusCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackInt(statusCode), PackText(description)};
  int lengths[2] = {0, 0};
  return Raise(kIPPortDisconnected, 2, argv, lengths);
}

int IPPort::FireError(int& errorCode, const char*& description) {
  if (Callback() == nullptr) return 0;
  void* argv[2] = {PackInt(errorCode), PackText(description)};
  int lengths[2] = {0, 0};
  return Raise(kIPPortError, 2, argv, lengths);
}

int IPPort::FireReadyToSend() {
  if (Callback() == nullptr) return 0;
  void* argv[1] = {nullptr};
  int lengths[1] = {0};
  return Raise(kIPPortReadyToSend, 0, argv, lengths);
}

int IPPort::FireSSLServerAuthentication(const char*& encoded, int& length, const char*& subject,
                                        const char*& issuer, const char*& status, int& accept) {
  if (Callback() == nullptr) return 0;
  void* argv[5] = {PackText(encoded), PackText(subject), PackText(issuer), PackText(status), PackInt(accept)};
  int lengths[5] = {length, 0, 0, 0, 0};
  const int result = Raise(kIPPortSSLServerAuthentication, 5, argv, lengths);
  accept = UnpackInt(argv[4]);
  return result;
}

int IPPort::FireSSLStatus(const char*& message) {
  if (Callback() == nullptr) return 0;
  void* argv[1] = {PackText(message)};
  int lengths[1] = {0};
  return Raise(kIPPortSSLStatus, 1, argv, lengths);
}

// ---- properties --------------------------------------------------------------------------

int IPPort::CheckIndex(int, int) { return 0; }

void* IPPort::Get(int property, int, int* length) {
  StripWideOffset(property);  // no property has a wide form
  if (property == kPropertyVersion) return const_cast<char*>(kComponentVersion);
  if (property == kPropertyCodePage) return PackInt(core_.GetCodePage());
  core_.SetLastErrorCode(0);
  switch (property) {
    case 1: return PackInt(core_.GetReceiveEnabled());
    case 2: return reinterpret_cast<void*>(static_cast<intptr_t>(core_.GetBytesSent()));
    case 3: return PackInt(core_.IsConnected() ? 1 : 0);
    case 5: return ReadBytes([this](char** d, int* n) { return core_.GetEol(d, n); }, length);
    case 6: return PackInt(core_.GetFirewallAutoDetect() ? 1 : 0);
    case 7: return PackInt(core_.GetFirewallType());
    case 8: return PackText(core_.GetFirewallHost());
    case 9: return PackText(core_.GetFirewallPassword());
    case 10: return PackInt(core_.GetFirewallPort());
    case 11: return PackText(core_.GetFirewallUser());
    case 12: return PackInt(core_.GetKeepAlive());
    case 13: return PackInt(core_.GetLinger());
    case 14: return PackText(core_.GetLocalHost());
    case 15: return PackInt(core_.GetLocalPort());
    case 16: return PackInt(core_.GetReadyToSend());
    case 17: return PackInt(core_.GetRecordLength());
    case 18: return PackText(core_.GetRemoteHost());
    case 19: return PackInt(core_.GetRemotePort());
    case 20: return PackInt(core_.GetSingleLineMode());
    case 21: return ReadBytes([this](char** d, int* n) { return core_.GetStoredBytes(d, n); }, length);
    case 22: return ReadBytes([this](char** d, int* n) { return core_.GetSslCertEncoded(d, n); }, length);
    case 23: return ReadBytes([this](char** d, int* n) { return core_.GetSslCertStore(d, n); }, length);
    case 24: return PackText(core_.GetSslCertStorePassword());
    case 25: return PackInt(core_.GetSslCertStoreType());
    case 26: return PackText(core_.GetSslCertSubject());
    case 27: return PackInt(core_.GetTlsEnabled() ? 1 : 0);
    case 28: return ReadBytes([this](char** d, int* n) { return core_.GetClearedBytes(d, n); }, length);
    case 29: return PackInt(core_.GetTlsStartMode());
    case 30: return PackInt(core_.GetTimeout());
    default: return nullptr;  // unknown ids, and the write-only property 4
  }
}

int IPPort::Set(int property, int, const void* value, int length) {
  if (property < 1 || property > kIPPortLastProperty || property == 2 || property == 16 || property == 28) {
    return kStatusNotSettable;
  }
  return FinishCall(core_, SetProperty(property, value, length));
}

int IPPort::SetProperty(int property, const void* value, int length) {
  const int number = UnpackInt(value);
  const char* text = UnpackText(value);
  const char* bytes = static_cast<const char*>(value);
  if (bytes == nullptr) length = 0;
  switch (property) {
    case 1: return core_.SetReceiveEnabled(number);
    case 3: return core_.SetConnected(number);
    case 4: return core_.SendBytes(bytes, length);
    case 5: return core_.SetEol(bytes, length);
    case 6: return core_.SetFirewallAutoDetect(number);
    case 7: return core_.SetFirewallType(number);
    case 8: return core_.SetFirewallHost(text);
    case 9: return core_.SetFirewallPassword(text);
    case 10: return core_.SetFirewallPort(number);
    case 11: return core_.SetFirewallUser(text);
    case 12: return core_.SetKeepAlive(number);
    case 13: return core_.SetLinger(number);
    case 14: return core_.SetLocalHost(text);
    case 15: return core_.SetLocalPort(number);
    case 17: return core_.SetRecordLength(number);
    case 18: return core_.SetRemoteHost(text);
    case 19: return core_.SetRemotePort(number);
    case 20: return core_.SetSingleLineMode(number);
    case 21: return core_.SetStoredBytes(bytes, length);
    case 22: return core_.SetSslCertEncoded(bytes, length);
    case 23: return core_.SetSslCertStore(bytes, length);
    case 24: return core_.SetSslCertStorePassword(text);
    case 25: return core_.SetSslCertStoreType(number);
    case 26: return core_.SetSslCertSubject(const_cast<char*>(text));
    case 27: return core_.SetTlsEnabled(number != 0);
    case 29: return core_.SetTlsStartMode(number);
    case 30: return core_.SetTimeout(static_cast<unsigned>(number), 1);
    default: return kStatusNotSettable;
  }
}

// ---- methods -----------------------------------------------------------------------------

int IPPort::Do(int method, int argc, void** argv, int* lengths) {
  const bool wide = StripWideMethodOffset(method);
  switch (method) {
    case kMethodExternalLoopOff: return core_.SetExternalEventLoop(0);
    case kMethodExternalLoopOn: return core_.SetExternalEventLoop(1);
    case kMethodExternalPoll: return core_.PollEvents(UnpackLong(ArgAt(argc, argv, 0)));
    default: break;
  }
  return FinishCall(core_, RunMethod(method, wide, argc, argv, lengths));
}

int IPPort::RunMethod(int method, bool wide, int argc, void** argv, int* lengths) {
  const int codePage = core_.GetCodePage();
  WideString converted;
  const char* text = UnpackText(ArgAt(argc, argv, 0));
  switch (method) {
    case 2: {  // Config
      TORNELL_TRY(ConvertWideArgument(wide, codePage, converted, text));
      const char* answer = "";
      const int code = core_.ConfigText(text, answer);
      if (argv != nullptr && argc > 1) argv[1] = const_cast<char*>(answer);
      return code;
    }
    case 3:  // Connect
      TORNELL_TRY(ConvertWideArgument(wide, codePage, converted, text));
      return core_.Connect(text, UnpackInt(ArgAt(argc, argv, 1)));
    case 4: return core_.Disconnect();
    case 5: static_cast<void>(core_.DoEventsOnce()); return 0;
    case 6: {  // GetLine
      const char* line = "";
      const int code = core_.GetLine(line);
      if (argv != nullptr && argc > 0) argv[0] = const_cast<char*>(line);
      return code;
    }
    case 7: return core_.Interrupt();
    case 8: return core_.Reinit();
    case 9: {  // Send
      const char* bytes = static_cast<const char*>(ArgAt(argc, argv, 0));
      int length = lengths != nullptr && argc > 0 && bytes != nullptr ? lengths[0] : 0;
      TORNELL_TRY(ConvertWideBytes(wide, codePage, converted, bytes, length));
      if (wide && lengths != nullptr && argc > 0) lengths[0] = length;
      return core_.SendBytes(bytes, length);
    }
    case 10:
      TORNELL_TRY(ConvertWideArgument(wide, codePage, converted, text));
      return core_.SendFile(text);
    case 11:
      TORNELL_TRY(ConvertWideArgument(wide, codePage, converted, text));
      return core_.SendLine(text);
    case 14: return core_.StartSSL();
    default: return 0;  // 12, 13 and unknown ids do nothing
  }
}

}  // namespace tornell

// ---- entry points ----------------------------------------------------------------------------

using tornell::IPPort;

namespace {
IPPort* AsPort(void* handle) { return static_cast<IPPort*>(static_cast<tornell::ComponentHandle*>(handle)); }
}  // namespace

extern "C" {

void* Tornell_IPPort_Create(TornellEventCallback callback, void* context) {
  auto* port = new (std::nothrow) IPPort(callback, context);
  return static_cast<tornell::ComponentHandle*>(port);
}

int Tornell_IPPort_Destroy(void* handle) {
  if (handle != nullptr) delete static_cast<tornell::ComponentHandle*>(handle);
  return 0;
}

int Tornell_IPPort_CheckIndex(void* handle, int property, int index) {
  return handle != nullptr ? AsPort(handle)->CheckIndex(property, index) : tornell::kStatusNoMemory;
}

void* Tornell_IPPort_Get(void* handle, int property, int index, int* length) {
  return handle != nullptr ? AsPort(handle)->Get(property, index, length) : nullptr;
}

int Tornell_IPPort_Set(void* handle, int property, int index, const void* value, int length) {
  return handle != nullptr ? AsPort(handle)->Set(property, index, value, length) : tornell::kStatusNoMemory;
}

char* Tornell_IPPort_GetLastError(void* handle) {
  return handle != nullptr ? const_cast<char*>(AsPort(handle)->Core().GetLastErrorText()) : nullptr;
}

int Tornell_IPPort_GetLastErrorCode(void* handle) {
  return handle != nullptr ? AsPort(handle)->Core().GetLastErrorCode() : tornell::kStatusNoMemory;
}

int Tornell_IPPort_Do(void* handle, int method, int argc, void** argv, int* lengths) {
  return handle != nullptr ? AsPort(handle)->Do(method, argc, argv, lengths) : tornell::kStatusNoMemory;
}

int Tornell_IPPort_StaticInit(void*) {
  static_cast<void>(tornell::LibraryStaticInit());
  return 0;
}

int Tornell_IPPort_StaticDestroy(void) {
  static_cast<void>(tornell::LibraryStaticDestroy());
  return 0;
}

}  // extern "C"
