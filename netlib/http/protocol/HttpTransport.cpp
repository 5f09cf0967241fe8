// How the protocol object uses its connection: a plain body is read from
// the socket in large blocks straight into the body stage, instead of
// through the receive queue a line at a time; a closed connection takes its
// secure channel and the bytes decrypted for it along.
#include <sys/socket.h>

#include "core/base/Status.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

int HttpProtocol::Receive(int mode) {
  // Everything but the common case keeps the transport's own path: lines,
  // TLS records, a proxy exchange, a queue still holding bytes, a pending
  // close, or a cap on the time one receive may take.
  if (mode != 0 || responseParseState_ != kBody || tlsEnabled_ != 0 || receiveQueue_.Length() != 0 ||
      proxy_.IsNegotiating() || closePending_ != 0 || maxReceiveDataTime_ > 0 || !MayRead()) {
    return TransferConnection::Receive(mode);
  }
  if (bodyBlock_.Length() != kBodyBlock && bodyBlock_.Resize(kBodyBlock) != kStatusOk) {
    return TransferConnection::Receive(mode);
  }
  for (;;) {
    const ssize_t got = recv(descriptor_, bodyBlock_.Data(), kBodyBlock, 0);
    // The end of the stream and every error take the transport's path,
    // which reads them again and reports them as it always does.
    if (got <= 0) return TransferConnection::Receive(mode);
    const int n = static_cast<int>(got);
    static_cast<void>(LogData(1, bodyBlock_.Data(), n));
    static_cast<void>(Deliver(bodyBlock_.Data(), n, 0));
    if (n < kBodyBlock || responseParseState_ != kBody || !MayRead() || closePending_ != 0) return 0;
  }
}

int HttpProtocol::Close() {
  if (tlsEnabled_ != 0) {
    // The next connection starts a handshake of its own, and nothing of this
    // one reaches its response.
    static_cast<void>(TlsClose(0, 0));
    static_cast<void>(tlsQueue_.Clear());
    tlsPending_.Clear();
    pendingStart_ = 0;
  }
  return TransferConnection::Close();
}

}  // namespace tornell
