#pragma once
// Base of every socket-owning object: descriptor and buffer sizes, time-outs
// and the wait step with its socket events, the local address, TLS and
// certificate settings read by the layers above, the debug log and transcript,
// and the NTLM token provider.

#include <netinet/in.h>

#include <cstdint>

#include "core/text/ByteString.h"
#include "core/base/ComponentBase.h"
#include "core/base/FileStream.h"
#include "core/socket/TokenProvider.h"

namespace tornell {

// Socket events handed to HandleMessage (low 16 bits; 16 and 32 carry an
// error number in the high 16 bits).
enum SocketEvent : long {
  kEventRead = 1,
  kEventWrite = 2,
  kEventAccept = 8,
  kEventConnect = 16,
  kEventClose = 32,
};

constexpr int kStatusInterrupted = 301;     // the wait was interrupted
constexpr int kStatusNoCertificate = 272;   // no certificate, or not the one asked for

// Results of the wait step DoEvents: go on waiting, or stop (interrupt or
// deadline, the error text says which).
constexpr int kWaitGoOn = 1;
constexpr int kWaitStop = 0;

// The tick clock restarts at 0 after this many milliseconds.
constexpr uint32_t kTickPeriodMs = 1000000000u;

// Milliseconds from one tick to a later one, across the clock's restart.
uint32_t TickDistance(uint32_t from, uint32_t to);

// True when more time than the armed span has passed since armedAt; both
// values and now are ticks, compared modulo the clock's period.
bool TickDeadlinePassed(uint32_t armedAt, uint32_t deadline, uint32_t now);

class SocketCore : public ComponentBase {
 public:
  SocketCore();
  ~SocketCore() override;

  int Reset();

  int HandleMessage(int message, unsigned long descriptor, long event) override;
  int Config(ConfigSetting* setting, const char*& answer) override;
  int PollEvents(long ignored) override;
  virtual int AsyncSelect(int descriptor, void* ignored, unsigned message, long mask);
  virtual int RegisterSocket(long descriptor, long mask, void*& handle);
  virtual int ExternalWait(long& milliseconds) = 0;
  virtual int ExternalRegisterSocket(long descriptor, long mask, void*& handle) = 0;
  virtual int ExternalUnregisterSocket(void* handle) = 0;
  virtual const char* GetLocalHost();
  virtual int SetLocalHost(const char* text);
  virtual const char* GetLocalHostSetting();
  virtual int DoEvents(int milliseconds, void* ignored);
  virtual int DataHook(int kind, const char* data, int length);
  virtual int FireError(int code, char* description);

  // ---- settings -------------------------------------------------------------
  int GetSelectWaitMillis() const { return selectWait_; }
  int SetSelectWaitMillis(int value);
  long GetSslSecurityFlags() const { return static_cast<long>(sslSecurityFlags_); }
  int SetSslSecurityFlags(long flags);
  const char* GetSslEnabledCipherSuites() const { return cipherSuites_.CStr(); }
  int GetSslEnabledProtocols() const { return enabledProtocols_; }
  int SetSslEnabledProtocols(int mask);
  int GetSslEnableRenegotiation() const { return renegotiation_; }
  int SetSslEnableRenegotiation(int value);
  int GetWinsockStatus() const { return 0; }
  int GetPlatformLevel() const { return -1; }

  long GetReceiveBufferSize() const { return receiveBufferSize_; }
  long GetSendBufferSize() const { return sendBufferSize_; }
  [[nodiscard]] int SetReceiveBufferSize(long size);
  [[nodiscard]] int SetSendBufferSize(long size);

  // ---- certificates -----------------------------------------------------------
  int GetSslCertStoreType() const { return storeType_; }
  int SetSslCertStoreType(int type);
  const char* GetSslCertStorePassword() const { return storePassword_ != nullptr ? storePassword_ : ""; }
  [[nodiscard]] int SetSslCertStorePassword(const char* text);
  int GetSslCertStore(char** data, int* length);
  [[nodiscard]] int SetSslCertStore(const char* bytes, int length);
  const char* GetSslCertSubject() const { return certSubject_; }
  [[nodiscard]] int SetSslCertSubject(char* subject);
  int GetSslCertEncoded(char** data, int* length);
  [[nodiscard]] int SetSslCertEncoded(const char* bytes, int& length);
  int GetSelectedCertificateIndex() const { return selectedCertIndex_; }
  [[nodiscard]] int LoadSslCertStoreFile(const char* path);
  [[nodiscard]] int SetSslCertStoreP7b(const char* bytes, int length);

  // ---- authentication ---------------------------------------------------------
  [[nodiscard]] int SetAuthCredentials(const char* protocol, const char* user, const char* password);
  [[nodiscard]] int GetAuthToken(ByteString& out, const char* protocol, const char* server, const char* input);
  const char* GetAuthDiagnostics() const { return tokenProvider_ ? tokenProvider_->GetDiagnosticText() : ""; }
  int IsKerberosToken(const char* text);

  // ---- errors and hooks -------------------------------------------------------
  int ReportError(int code);
  int SetSystemErrorText(int code);
  void OnBlockingActionDone() {}
  int OnDescriptorChange(int oldDescriptor, int newDescriptor, void* local);
  static int CopyText(char* buffer, int capacity, int unused, const char* source);
  static int GetXmlElementText(const char* name, ByteString& document, ByteString& out);

  // ---- time-outs (milliseconds, or seconds unless TimeoutInMilliseconds) ----
  int SetTimeout(unsigned value, int resetDeadline);
  int GetTimeout() const;
  uint32_t StartTimeout();
  uint32_t GetDeadline() const { return deadline_; }
  int SetDeadline(uint32_t deadline);
  int SetIdleTimeout(unsigned value, int resetDeadline);
  int GetIdleTimeout() const;
  uint32_t RestartIdleTimer();
  uint32_t GetIdleDeadline() const { return idleDeadline_; }
  bool IdleDeadlinePassed() const;

  // ---- waiting ------------------------------------------------------------------
  int DoEvents(int milliseconds) { return DoEvents(milliseconds, nullptr); }
  int DoEvents() { return DoEvents(selectWait_, nullptr); }
  int DoEventsOnce();
  int WaitForEvents(int milliseconds) { return WaitForEvents(milliseconds, eventMessage_); }
  int WaitForEvents(int milliseconds, unsigned message);
  int AddEventMask(long bits);
  int ClearEventMaskBits(long bits);
  long GetEventMask() const { return eventMask_; }
  int GetEventDescriptor() const { return eventDescriptor_; }
  int MarkReadPending();
  int SetExternalEventLoop(int on);
  void RequestInterrupt() { interruptRequest_ = 1; }
  int IsInterruptRequested() const { return interruptRequest_; }
  int WasInterrupted() const { return interrupted_; }
  void ClearInterrupted() { interrupted_ = 0; }

  // ---- addresses ----------------------------------------------------------------
  int str2ipv6addr(const char* text, sockaddr_in6* address, int flags, int socktype);
  int Ipv4TextToAddress(const char* text, in_addr* address, int flags, int socktype);
  const char* Ipv6AddressToText(const sockaddr_in6* address, char* buffer);
  const char* Ipv4AddressToText(in_addr address);
  const char* GetLocalAddressText();
  const in_addr& GetLocalIpv4() const { return localIpv4_; }
  const sockaddr_in6& GetLocalIpv6() const { return localIpv6_; }
  int IsIpv6() const { return ipv6Flag_; }

  // ---- debug log and transcript ----------------------------------------------
  [[nodiscard]] int LogText(const char* text);
  [[nodiscard]] int LogData(int direction, const char* data, int length);
  [[nodiscard]] int LogDataText(int direction, const char* text);
  [[nodiscard]] int LogDataRecord(const char* word, const char* data, int length);
  [[nodiscard]] int AppendLogPrefix(ByteString& out, int local);
  [[nodiscard]] int WriteTranscript(const void* bytes, int length);
  [[nodiscard]] int WriteTranscriptEscaped(const char* data, int length);
  [[nodiscard]] int OpenTranscript();
  int CloseTranscript();
  const char* GetTranscriptText() const { return transcript_.CStr(); }

 protected:
  bool ConsumeInterrupt();
  int DeliverReady(int fd, unsigned message, short revents, bool wantWrite);

  int timeout_ = 0;
  uint32_t deadline_ = 0;
  int idleTimeout_ = 0;
  uint32_t idleDeadline_ = 0;
  char localHostText_[101] = {};
  int selectWait_ = 20;
  int descriptor_ = -1;
  long receiveBufferSize_ = 65536;
  long sendBufferSize_ = 65536;
  uint8_t millisecondsFlag_ = 0;
  in_addr localIpv4_{};
  sockaddr_in6 localIpv6_{};
  char ipv6Text_[60] = {};
  ByteString localHostSetting_;
  int ipv6Mode_ = 0;
  uint8_t ipv6Flag_ = 0;
  uint8_t useGetAddrInfo_ = 1;
  uint8_t tlsEnabled_ = 0;
  uint8_t recordToString_ = 0;
  uint8_t absoluteTimeout_ = 0;
  uint8_t interruptRequest_ = 0;
  uint8_t interrupted_ = 0;
  uint8_t useInternalSecurity_ = 1;
  uint8_t ignoreExternalEvents_ = 0;
  uint8_t readPending_ = 0;
  ShortString kerberosSpn_;
  ByteString transcript_;
  std::unique_ptr<TokenProvider> tokenProvider_;
  uint8_t externalLoop_ = 0;
  void* externalHandle_ = nullptr;
  ShortString recordFileName_;
  FileStream transcriptFile_;
  char ipv4Text_[24] = {};
  int eventDescriptor_ = -1;
  unsigned eventMessage_ = 0;
  long eventMask_ = 0;
  uint32_t sslSecurityFlags_ = 0;
  ByteString cipherSuites_;
  int selectedCertIndex_ = 0;
  char* currentCertEncoded_ = nullptr;
  int currentCertLength_ = 0;
  char* certSubject_ = nullptr;
  int enabledProtocols_ = 0xFC0;
  int renegotiation_ = 1;
  char* storePassword_ = nullptr;
  char* storeBytes_ = nullptr;
  int storeLength_ = 0;
  int storeType_ = 0;
  int includeChain_ = 0;
  // Ticks at which the deadlines were armed, so that they can be compared
  // across the clock's wrap.
  uint32_t deadlineArmedAt_ = 0;
  uint32_t idleArmedAt_ = 0;
};

int LibraryStaticInit();
int LibraryStaticDestroy();

}  // namespace tornell
