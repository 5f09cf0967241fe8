#pragma once
// What a TLS engine needs of the connection that owns it. The engine never
// touches a socket: bytes to write, decrypted data, progress texts and
// failures all go through these calls.
#include "core/text/ByteString.h"

namespace tornell {

namespace pki {
class SelectedCertificate;
}  // namespace pki
using pki::SelectedCertificate;

class TlsOwner {
 public:
  // SendRaw result: the transport took `sent` bytes and would block on the rest.
  static constexpr int kWouldBlock = 11;

  virtual ~TlsOwner() = default;
  // 0 when every byte was taken, kWouldBlock with `sent` bytes taken, any
  // other value a failure.
  [[nodiscard]] virtual int SendRaw(const char* data, int length, int& sent) = 0;
  // Decrypted application data; every byte counts as taken.
  [[nodiscard]] virtual int OnTlsData(const char* data, int length) = 0;
  // Null on success.
  [[nodiscard]] virtual int OnTlsHandshakeDone(const char* error) = 0;
  [[nodiscard]] virtual int OnTlsStatus(const char* text) = 0;
  [[nodiscard]] virtual int OnTlsError(int code, const char* text) = 0;
  // The peer's certificate after its checks; `accept` comes preset and is read back.
  [[nodiscard]] virtual int OnTlsCertificate(ByteString& encoded, SelectedCertificate& certificate, int status,
                                             const char* text, int& accept) = 0;
  // The failure that ends the handshake or the connection; its result is the
  // status of the failing step.
  [[nodiscard]] virtual int ReturnError(int code, const char* text) = 0;
};

}  // namespace tornell
