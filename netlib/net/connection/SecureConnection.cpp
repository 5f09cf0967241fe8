#include "net/connection/SecureConnection.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/base/Status.h"
#include "pki/store/SelectedCertificate.h"

namespace tornell {

namespace {
constexpr const char* kAlreadyConnectedText =
    "Already connected. If you want to reconnect, close the current connection first.";
}  // namespace

SecureConnection::SecureConnection() { static_cast<void>(tlsQueue_.Allocate(kDefaultMaxLineLength)); }

SecureConnection::~SecureConnection() {
  std::free(storedBytes_);
  storedBytes_ = nullptr;
}

int SecureConnection::Reset() {
  const int done = TcpConnection::Reset();
  alpnList_.Clear();
  negotiatedAlpn_.Clear();
  tlsPending_.Clear();
  pendingStart_ = 0;
  tlsReceiveEnabled_ = 1;
  sslState_ = kSslStateIdle;
  tlsBytesSent_ = 0;
  static_cast<void>(tlsQueue_.Reset());
  if (tlsQueue_.Allocate(kDefaultMaxLineLength) == 0) return 0;
  return done;
}

// ---- events ------------------------------------------------------------------------

int SecureConnection::FireConnected(int, const char*) { return 0; }
int SecureConnection::FireDataIn(const char*, int, int) { return 0; }
int SecureConnection::FireDisconnected(int, const char*) { return 0; }
int SecureConnection::FireReadyToSend() { return 0; }
int SecureConnection::FireConnectionStatus(const char*, int, const char*) { return 0; }
int SecureConnection::FireSSLServerAuthentication(const char*, int, const char*, const char*, const char*, int&) {
  return 0;
}
int SecureConnection::FireSSLStatus(const char*) { return 0; }
int SecureConnection::OnTlsStartModeChanged(int) { return 0; }
int SecureConnection::FireError(int, char*) { return 0; }

// The error event takes a writable text; handlers only read it.
int SecureConnection::RaiseError(int code, const char* text) { return FireError(code, const_cast<char*>(text)); }

const char* SecureConnection::Description(int code, bool fillText) {
  if (code == 0) return "OK";
  if (fillText && IsErrorTextEmpty() != 0) static_cast<void>(SetSystemErrorText(code));
  return GetLastErrorText();
}

int SecureConnection::OnConnected(int code) {
  return FireConnected(code, Description(code, code != kStatusProxyFailed));
}

int SecureConnection::OnDisconnected(int code) {
  return FireDisconnected(code, Description(code, code != kStatusProxyFailed));
}

int SecureConnection::CheckServerCertificate(const char* encoded, int length, const char* subject,
                                             const char* issuer, const char* status, int& accept) {
  return FireSSLServerAuthentication(encoded, length, subject, issuer, status, accept);
}

// ---- TLS on and off -------------------------------------------------------------------

int SecureConnection::SetUseSSL(bool on) {
  if ((tlsEnabled_ != 0) == on) return 0;
  char* terminator = nullptr;
  int length = 0;
  if (on) {
    static_cast<void>(receiveQueue_.GetTerminator(&terminator, &length));
    if (tlsQueue_.SetTerminator(terminator, static_cast<unsigned>(length)) == 0) return kStatusNoMemory;
    static_cast<void>(receiveQueue_.SetTerminator(nullptr, 0));  // clearing cannot fail
  } else {
    static_cast<void>(tlsQueue_.GetTerminator(&terminator, &length));
    if (receiveQueue_.SetTerminator(terminator, static_cast<unsigned>(length)) == 0) return kStatusNoMemory;
    if (tlsQueue_.IsLineMode() != 0) static_cast<void>(receiveQueue_.SetLineMode(1));
    sslState_ = kSslStateIdle;
  }
  tlsEnabled_ = on ? 1 : 0;
  return 0;
}

int SecureConnection::SetTlsStartMode(int mode) {
  if (mode != tlsStartMode_) {
    tlsStartMode_ = mode;
    static_cast<void>(OnTlsStartModeChanged(mode));
  }
  return SetUseSSL(mode == 0 || mode == 1);
}

int SecureConnection::SetTlsEnabled(bool on) {
  if (on == GetTlsEnabled()) return 0;
  return SetTlsStartMode(on ? 0 : 3);
}

int SecureConnection::StopSsl() {
  if (tlsEnabled_ == 0) return 0;
  if (gracefulTlsShutdown_ != 0) return 0;
  sslState_ = kSslStateIdle;
  return SetUseSSL(false);
}

bool SecureConnection::IsConnected() const {
  if (tlsEnabled_ == 0) return TcpConnection::IsConnected();
  if (UsesInternalEngine()) return tls_.IsEstablished() != 0;
  return false;
}

// ---- connect and close ------------------------------------------------------------------

int SecureConnection::SetConnected(int connect, long code) {
  if (tlsEnabled_ == 0) return TcpConnection::Connect(connect);
  if (connect == 0) {
    if (UsesInternalEngine()) {
      TORNELL_TRY(TlsClose(code, 0));
      return TcpConnection::Connect(0);
    }
    if (sslState_ == kSslStatePlatformConnecting) {
      sslState_ = kSslStateIdle;
      return Disconnect(0);
    }
    return 0;
  }
  if (sslState_ != kSslStateIdle || (UsesInternalEngine() && tls_.IsEstablished() != 0)) {
    return ReturnError(kStatusAlreadyConnected, kAlreadyConnectedText);
  }
  static_cast<void>(FireSSLStatus("Attempting to connect to server."));
  clearedBytes_.Clear();
  if (!TcpConnection::IsConnected()) {
    const int status = TcpConnection::Connect(1);
    if (status == 0 && !UsesInternalEngine()) sslState_ = kSslStatePlatformConnecting;
    return status;
  }
  if (!UsesInternalEngine()) return kStatusNotAvailable;
  TORNELL_TRY(ConfigureTls());
  return TlsStartHandshake();
}

int SecureConnection::ConfigureTls() {
  char* store = nullptr;
  int storeLength = 0;
  TORNELL_TRY(GetSslCertStore(&store, &storeLength));
  TORNELL_TRY(TlsSetDefaults(1));
  TORNELL_TRY(tls_.SetEnabledProtocols(GetSslEnabledProtocols()));
  TORNELL_TRY(tls_.SetSecurityFlags(static_cast<int>(GetSslSecurityFlags())));
  TORNELL_TRY(tls_.SetCipherSuites(GetSslEnabledCipherSuites()));
  TORNELL_TRY(tls_.SetRemoteHost(remoteHost_.CStr()));
  // Without a usable store the client simply has no certificate to offer.
  static_cast<void>(tls_.SetCertificateStore(store, storeLength, GetSslCertStoreType(), GetSslCertStorePassword(),
                                             GetSslCertSubject()));
  TORNELL_TRY(tls_.SetTls12SupportedGroups(tls12Groups_.CStr()));
  TORNELL_TRY(tls_.SetTls13KeyShareGroups(tls13KeyShareGroups_.CStr()));
  TORNELL_TRY(tls_.SetTls13SupportedGroups(tls13Groups_.CStr()));
  TORNELL_TRY(tls_.SetTls13SignatureAlgorithms(tls13Schemes_.CStr()));
  TORNELL_TRY(tls_.SetTls12SignatureAlgorithms(tls12SignatureAlgorithms_.CStr()));
  TORNELL_TRY(tls_.SetAlpnProtocols(alpnList_.CStr()));
  return tls_.SetLogPackets(logSslPackets_);
}

int SecureConnection::OnSocketConnected(int code) {
  if (code != 0) {
    static_cast<void>(OnSocketStatus("Remote host connection failed.", code));
    return OnConnected(code);
  }
  static_cast<void>(OnSocketStatus("Remote host connection complete. Initiating SSL handshake.", 0));
  if (tlsEnabled_ == 0) return OnConnected(0);
  int status = kStatusNotAvailable;
  if (!UsesInternalEngine()) {
    static_cast<void>(FireSSLStatus("Using platform security API."));
    static_cast<void>(FireSSLStatus("Socket connection established."));
    static_cast<void>(FireSSLStatus("Starting to establish secure channel."));
    sslState_ = kSslStateIdle;
  } else {
    status = ConfigureTls();
    if (status == 0) {
      static_cast<void>(FireSSLStatus("Using internal security API."));
      status = TlsStartHandshake();
    }
    if (status == 0) return 0;
  }
  // The event dispatcher drops this result: report the connect as failed and
  // close, so a waiting connect ends now with the real code.
  static_cast<void>(OnConnected(status));
  Close();
  return status;
}

int SecureConnection::OnSocketDisconnected(int code) {
  static_cast<void>(OnSocketStatus("Remote host disconnected.", code));
  return OnDisconnected(code);
}

int SecureConnection::OnSocketStatus(const char* text, int code) {
  return FireConnectionStatus(text, code, Description(code, true));
}

int SecureConnection::OnSocketError(int code, const char* text) { return RaiseError(code, text); }

int SecureConnection::OnSocketWritable() {
  // Until the secure channel is up a send would fail: the end of the
  // handshake announces readiness instead. A handshake flight the socket
  // would not take goes out now.
  if (tlsEnabled_ != 0 && UsesInternalEngine() && tls_.IsEstablished() == 0) return TlsFlushPending();
  readyToSend_ = 1;
  return NotifyReadyToSend();
}

int SecureConnection::Close() { return TcpConnection::Close(); }

int SecureConnection::StartSsl() {
  TORNELL_TRY(SetUseSSL(true));
  static_cast<void>(TcpConnection::SetReceiveEnabled(1));
  tlsReceiveEnabled_ = 1;
  return SetConnected(1, 0);
}

int SecureConnection::StartSslAndWait() {
  if (tlsEnabled_ != 0 && IsConnected()) return 0;
  TORNELL_TRY(StartSsl());
  while (!IsConnected() && TcpConnection::IsConnected()) {
    if (DoEvents() == kWaitStop) break;
  }
  if (IsConnected()) return 0;
  static_cast<void>(StopSsl());
  static_cast<void>(SetConnected(0, 0));
  return ReturnError(kStatusTlsHandshakeFailed, "Peer disconnected during SSL handshake");
}

// ---- engine callbacks ----------------------------------------------------------------

int SecureConnection::OnTlsHandshakeDone(const char* error) {
  if (error != nullptr) return FireConnectionStatus("SSL handshake complete.", kStatusTlsHandshakeFailed, error);
  static_cast<void>(FireConnectionStatus("SSL handshake complete.", 0, "OK"));
  // The connected hook may start a request that depends on the protocol
  // ALPN selected: it must see it.
  const int alpn = negotiatedAlpn_.Set(tls_.GetNegotiatedAlpn());
  static_cast<void>(OnConnected(0));
  readyToSend_ = 1;
  static_cast<void>(NotifyReadyToSend());
  return alpn;
}

int SecureConnection::OnTlsStatus(const char* text) { return FireSSLStatus(text); }

int SecureConnection::OnTlsError(int code, const char* text) { return RaiseError(code, text); }

int SecureConnection::OnTlsCertificate(ByteString& encoded, SelectedCertificate& certificate, int,
                                       const char* status, int& accept) {
  const char* subject = nullptr;
  const char* issuer = nullptr;
  if (pki::CertificateManager* manager = certificate.GetManager(); manager != nullptr) {
    subject = manager->GetSubject();
    issuer = manager->GetIssuer();
  }
  return CheckServerCertificate(encoded.Data(), encoded.Length(), subject != nullptr ? subject : "",
                                issuer != nullptr ? issuer : "", status, accept);
}

int SecureConnection::OnTlsData(const char* data, int length) { return DeliverTlsData(data, length); }

// ---- receive -------------------------------------------------------------------------

int SecureConnection::OnSocketData(const char* data, int length, int eol) {
  if (tlsEnabled_ != 0 && UsesInternalEngine()) return TlsReceive(data, length);
  return FireDataIn(data, length, eol);
}

int SecureConnection::Receive(int mode) {
  if (tlsEnabled_ == 0 || !UsesInternalEngine()) return TcpConnection::Receive(mode);
  TORNELL_TRY(TcpConnection::Receive(mode));
  if (tls_.IsClosed() == 0) return 0;
  static_cast<void>(TcpConnection::SetReceiveEnabled(0));
  static_cast<void>(TlsClose(0, 0));
  // The receive loop has ended: the close must not wait for it.
  inReceive_ = 0;
  return TcpConnection::Connect(0);
}

// Moves as many held-back bytes into the queue as it has room for.
int SecureConnection::QueuePending() {
  const unsigned held = static_cast<unsigned>(GetTlsPendingLength());
  const unsigned room = tlsQueue_.FreeSpace();
  const unsigned n = held < room ? held : room;
  if (n == 0) return 0;
  TORNELL_TRY(tlsQueue_.Append(tlsPending_.Data() + pendingStart_, n) != 0 ? 0 : kStatusNoMemory);
  pendingStart_ += static_cast<int>(n);
  if (pendingStart_ == tlsPending_.Length()) {
    tlsPending_.Clear();
    pendingStart_ = 0;
  } else if (pendingStart_ >= tlsPending_.Length() / 2) {
    // Erasing in front at every move would copy the rest each time.
    static_cast<void>(tlsPending_.EraseFront(pendingStart_));
    pendingStart_ = 0;
  }
  return 0;
}

int SecureConnection::DeliverTlsData(const char* data, int length) {
  // With no terminator the queue would only cut the record into pieces of
  // its capacity, each copied once more; a receiver that frames the stream
  // itself takes the record as it is. Only while nothing waits before it,
  // so the order of the bytes stays.
  if (data != nullptr && length > 0 && tlsReceiveEnabled_ != 0 && tlsQueue_.TerminatorLength() == 0 &&
      tlsQueue_.Length() == 0 && GetTlsPendingLength() == 0 && TakesWholeRecords()) {
    static_cast<void>(DeliverData(data, length, 1));
    return 0;
  }
  // A record larger than the queue feeds it straight from the caller's
  // buffer; only what delivery leaves over is copied into tlsPending_.
  const char* source = nullptr;
  unsigned left = 0;
  if (data != nullptr && length > 0) {
    const unsigned held = static_cast<unsigned>(GetTlsPendingLength());
    if (tlsQueue_.FreeSpace() >= held + static_cast<unsigned>(length)) {
      TORNELL_TRY(QueuePending());
      if (tlsQueue_.Append(data, static_cast<unsigned>(length)) == 0) return kStatusNoMemory;
    } else if (held == 0) {
      source = data;
      left = static_cast<unsigned>(length);
    } else if (tlsPending_.Append(data, length) != 0) {
      static_cast<void>(RaiseError(kStatusNoMemory, "Out of memory [ssllb]. Aborting connection."));
      return kStatusNoMemory;
    }
  }
  while (tlsReceiveEnabled_ != 0) {
    char* record = nullptr;
    int n = 0;
    if (tlsQueue_.ReadRecord(record, n) != 0) {
      static_cast<void>(DeliverData(record, n, 1));
      continue;
    }
    if (GetTlsPendingLength() == 0 && left == 0) break;
    if (tlsQueue_.FreeSpace() == 0) {
      char* all = nullptr;
      unsigned allLength = 0;
      if (tlsQueue_.ReadAvailable(&all, &allLength) != 0) static_cast<void>(DeliverData(all, int(allLength), 0));
    }
    if (GetTlsPendingLength() > 0) {
      TORNELL_TRY(QueuePending());
    } else {
      const unsigned room = tlsQueue_.FreeSpace();
      const unsigned take = left < room ? left : room;
      static_cast<void>(tlsQueue_.Append(source, take));  // within the free space
      source += take;
      left -= take;
    }
  }
  if (left > 0 && tlsPending_.Append(source, static_cast<int>(left)) != 0) {
    static_cast<void>(RaiseError(kStatusNoMemory, "Out of memory [ssllb]. Aborting connection."));
    return kStatusNoMemory;
  }
  if (tlsReceiveEnabled_ == 0) {
    // Delivery is off but the socket is still read: past the limit stop
    // reading it, so the held bytes cannot grow without bound.
    if (GetTlsPendingLength() >= kTlsPendingLimit) static_cast<void>(TcpConnection::SetReceiveEnabled(0));
    return 0;
  }
  if (tlsQueue_.TerminatorLength() > 0 && tlsQueue_.FreeSpace() >= kPartialRecordRoom) return 0;
  char* rest = nullptr;
  unsigned restLength = 0;
  if (tlsQueue_.ReadAvailable(&rest, &restLength) != 0 && restLength > 0) {
    static_cast<void>(DeliverData(rest, static_cast<int>(restLength), 0));
  }
  return 0;
}

int SecureConnection::SetReceiveEnabled(int value) {
  if (tlsEnabled_ == 0) {
    tlsReceiveEnabled_ = value;
    return TcpConnection::SetReceiveEnabled(value);
  }
  tlsReceiveEnabled_ = value;
  if (value != 0) static_cast<void>(TcpConnection::SetReceiveEnabled(value));
  return DeliverTlsData(nullptr, 0);
}

int SecureConnection::GetReceiveEnabled() const {
  return tlsEnabled_ != 0 ? tlsReceiveEnabled_ : TcpConnection::GetReceiveEnabled();
}

// ---- send ------------------------------------------------------------------------------

int SecureConnection::Send(const char* data, int length, int flags) {
  if (tlsEnabled_ == 0) return TcpConnection::Send(data, length, flags, 1);
  tlsBytesSent_ = 0;
  if (UsesInternalEngine()) return TlsSend(data, length, tlsBytesSent_);
  if (sslState_ == kSslStateIdle) {
    SetSystemError(ENOTCONN);
    return kStatusNotConnected;
  }
  return length == 0 ? 0 : kStatusNotAvailable;
}

// ---- queue settings ----------------------------------------------------------------------

int SecureConnection::SetEol(const char* bytes, int length) {
  if (tlsEnabled_ == 0) return TcpConnection::SetEol(bytes, length);
  ClearError();
  const unsigned n = length > 0 ? static_cast<unsigned>(length) % 65536u : 0;
  if (tlsQueue_.SetTerminator(bytes, n) == 0) return kStatusNoMemory;
  if (IsConnected()) return DeliverTlsData(nullptr, 0);
  return 0;
}

int SecureConnection::GetEol(char** bytes, int* length) const {
  return tlsEnabled_ != 0 ? tlsQueue_.GetTerminator(bytes, length) : TcpConnection::GetEol(bytes, length);
}

int SecureConnection::SetSplitCrlf(int on) {
  if (tlsEnabled_ == 0) return TcpConnection::SetSplitCrlf(on);
  return tlsQueue_.SetLineMode(on) != 0 ? 0 : kStatusNoMemory;
}

int SecureConnection::GetSplitCrlf() const {
  return tlsEnabled_ != 0 ? tlsQueue_.IsLineMode() : TcpConnection::GetSplitCrlf();
}

int SecureConnection::SetMaxLineLength(unsigned length) {
  if (tlsEnabled_ == 0) return TcpConnection::SetMaxLineLength(length);
  if (descriptor_ != -1) {
    return ReturnError(kStatusMaxLineLengthBusy,
                       "You cannot change MaxLineLength at this time. A connection is in progress.");
  }
  // A queue that holds no byte would make the delivery loop spin.
  return tlsQueue_.Allocate(length > 0 ? length : 1) != 0 ? 0 : kStatusNoMemory;
}

unsigned SecureConnection::GetMaxLineLength() const {
  return tlsEnabled_ != 0 ? tlsQueue_.Capacity() : TcpConnection::GetMaxLineLength();
}

// ---- stored bytes ---------------------------------------------------------------------------

int SecureConnection::GetStoredBytes(char** bytes, int* length) const {
  if (bytes != nullptr) *bytes = storedBytes_;
  if (length != nullptr) *length = storedLength_;
  return 0;
}

int SecureConnection::SetStoredBytes(const char* bytes, int& length) {
  std::free(storedBytes_);
  storedBytes_ = nullptr;
  storedLength_ = 0;
  if (bytes == nullptr || length <= 0) return 0;
  storedBytes_ = static_cast<char*>(std::malloc(static_cast<size_t>(length)));
  if (storedBytes_ == nullptr) return ReturnError(kStatusNoMemory, "Out of memory");
  std::memcpy(storedBytes_, bytes, static_cast<size_t>(length));
  storedLength_ = length;
  return 0;
}

int SecureConnection::GetClearedBytes(char** bytes, int* length) {
  if (bytes != nullptr) *bytes = clearedBytes_.Data();
  if (length != nullptr) *length = clearedBytes_.Length();
  return 0;
}

}  // namespace tornell
