// The connection's side of the embedded TLS engine: the engine calls, the
// owner calls it answers (which the secure connection overrides) and the
// TLS setting lists.
#include "core/base/Status.h"
#include "net/connection/TcpConnection.h"
#include "tls/engine/TlsSettingLists.h"

namespace tornell {

int TcpConnection::TlsSetDefaults(int role) { return tls_.SetDefaults(this, role); }

int TcpConnection::TlsStartHandshake() { return tls_.StartHandshake(); }

int TcpConnection::TlsClose(long code, int fromPeer) { return tls_.OnPeerClosed(code, fromPeer); }

int TcpConnection::TlsReceive(const char* data, int length) { return tls_.Receive(data, length); }

int TcpConnection::TlsSend(const char* data, int length, int& sent) { return tls_.Send(data, length, sent); }

int TcpConnection::TlsFlushPending() { return tls_.FlushPending(); }

int TcpConnection::CopyTlsFrom(TcpConnection* other) {
  if (other == nullptr) return kStatusOk;
  TORNELL_TRY(tls_.CopyFrom(other->tls_));
  // The copy is made to resume the other connection's session.
  return tls_.SetSessionReuse(1);
}

int TcpConnection::SendRaw(const char* data, int length, int& sent) {
  const int status = Send(data, length, 0, 1);
  sent = status == kStatusOk ? length : status == kStatusWouldBlock ? bytesLastSent_ : 0;
  return status;
}

int TcpConnection::OnTlsData(const char* data, int length) { return OnSocketData(data, length, 0); }

int TcpConnection::OnTlsHandshakeDone(const char*) { return OnSocketWritable(); }

int TcpConnection::OnTlsStatus(const char*) { return kStatusOk; }

int TcpConnection::OnTlsError(int, const char*) { return kStatusOk; }

int TcpConnection::OnTlsCertificate(ByteString&, SelectedCertificate&, int, const char*, int&) { return kStatusOk; }

// ---- setting lists -----------------------------------------------------------------

int TcpConnection::ResetTlsLists() {
  TORNELL_TRY(tls12Groups_.Set(tls::kTls12GroupsText));
  TORNELL_TRY(tls13Groups_.Set(tls::kTls13GroupsText));
  TORNELL_TRY(tls13KeyShareGroups_.Set(tls::kTls13KeyShareGroupsText));
  TORNELL_TRY(tls13Schemes_.Set(tls::kTls13SignatureSchemesText));
  return tls12SignatureAlgorithms_.Set(tls::kTls12SignatureAlgorithmsText);
}

int TcpConnection::SetTls12SupportedGroups(const char* text) { return tls::ValidateGroupList(text, 0, tls12Groups_); }

int TcpConnection::SetTls13SupportedGroups(const char* text) { return tls::ValidateGroupList(text, 1, tls13Groups_); }

int TcpConnection::SetTls13KeyShareGroups(const char* text) {
  return tls::ValidateGroupList(text, 1, tls13KeyShareGroups_);
}

int TcpConnection::SetTls13SignatureAlgorithms(const char* text) {
  return tls::ValidateSignatureSchemeList(text, tls13Schemes_);
}

int TcpConnection::SetTls12SignatureAlgorithms(const char* text) {
  ByteString error;
  const int status = tls::ValidateTls12SignatureAlgorithms(text, tls12SignatureAlgorithms_, error);
  if (status == tls::kStatusBadSignatureAlgorithms) return ReturnError(status, error.CStr());
  return status;
}

}  // namespace tornell
