#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstdio>

#include <utility>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "net/connection/TcpConnection.h"

namespace tornell {

namespace {
// A proxy exchange that reads raw bytes as they arrive, not records.
bool ReadsRawReplies(int type) { return type >= kFirewallTunnel && type <= kFirewallSocks5; }

// Reads into the span and, with `extra`, one byte more into it: a read that
// fills the span then shows whether the socket held more.
ssize_t ReadSpan(int descriptor, char* at, unsigned span, char* extra) {
  iovec parts[2] = {{at, span}, {extra, 1}};
  msghdr message{};
  message.msg_iov = parts;
  message.msg_iovlen = extra != nullptr ? 2 : 1;
  return recvmsg(descriptor, &message, 0);
}
}  // namespace

bool TcpConnection::LogsReceivedData() const {
  return transcriptFile_.IsOpen() || recordToString_ != 0 || IsLogging();
}

bool TcpConnection::MayRead() const {
  return descriptor_ != -1 && (receiveEnabled_ != 0 || proxy_.IsNegotiating()) && interruptRequest_ == 0;
}

int TcpConnection::Deliver(const char* data, int length, int eol) {
  // Activity restarts the deadline.
  if (absoluteTimeout_ == 0) static_cast<void>(StartTimeout());
  return proxy_.ProcessReply(data, length, eol);
}

// Every complete record with eol 1. A hook's result does not hold back the
// records after it; a close a hook asked for does.
int TcpConnection::DeliverRecords() {
  char* record = nullptr;
  int n = 0;
  while (MayRead() && closePending_ == 0 && receiveQueue_.ReadRecord(record, n) != 0) {
    static_cast<void>(Deliver(record, n, 1));
  }
  return 0;
}

int TcpConnection::Receive(int mode) {
  const bool timed = maxReceiveDataTime_ > 0 && inReceive_ != 0;
  const uint32_t started = timed ? TickCountMs() : 0;
  int error = 0;
  // Set once a read took all the socket held: see below.
  bool drained = false;
  for (;;) {
    if (!MayRead()) return 0;
    TORNELL_TRY(DeliverRecords());
    if (!MayRead()) return 0;
    if (closePending_ != 0 && mode == 0) {
      inReceive_ = 0;
      return FinishDisconnect(pendingCloseCode_, false);
    }
    if (ReadsTlsRecords(mode)) {
      // TLS records go to the engine straight from one large read: the
      // queue's capacity is the line length of the plain stream, and a
      // record read in small pieces is gathered again by the engine.
      const int status = ReceiveTlsRecords();
      if (status == kTlsReadDrained) return 0;
      if (status == kTlsReadClosed) {
        inReceive_ = 0;
        return FinishDisconnect(pendingCloseCode_, false);
      }
      if (status != 0) {
        error = status;
        break;
      }
    } else if (receiveQueue_.FreeSpace() > 0) {
      // The byte a read took beyond the queue goes in first, and the read
      // that follows joins it, as one read would have (a CR and its LF stay
      // one line end).
      const bool hadHeldByte = holdsByte_ != 0;
      if (hadHeldByte) {
        holdsByte_ = 0;
        static_cast<void>(receiveQueue_.Append(&heldByte_, 1));  // there is free space
        // Only read while nothing was logged; logged if that has changed since.
        if (tlsEnabled_ == 0 || proxy_.IsNegotiating()) static_cast<void>(LogData(1, &heldByte_, 1));
        if (receiveQueue_.FreeSpace() == 0) continue;
      } else if (drained) {
        return 0;
      }
      char* at = nullptr;
      unsigned span = receiveQueue_.FreeSpace();
      static_cast<void>(receiveQueue_.GetWriteSpan(&at, &span));  // span is what it holds
      // A read that fills the queue would otherwise need one more, mostly
      // answered "would block", to know the socket is empty. Not while the
      // bytes are logged, where each read is one record, nor for a proxy's
      // raw reply.
      const bool probe = mode == 0 && !(proxy_.IsNegotiating() && ReadsRawReplies(proxy_.GetType())) &&
                         !LogsReceivedData();
      const ssize_t got = ReadSpan(descriptor_, at, span, probe ? &heldByte_ : nullptr);
      if (got < 0) {
        error = GetSystemError();
        // The held byte was the last one: as after a short read.
        if (hadHeldByte && error == EAGAIN) {
          TORNELL_TRY(DeliverRecords());
          if (closePending_ == 0) return 0;
          continue;
        }
        break;
      }
      int n = static_cast<int>(got);
      if (probe && static_cast<unsigned>(n) > span) {
        n = static_cast<int>(span);
        holdsByte_ = 1;
      } else if (probe && static_cast<unsigned>(n) == span) {
        drained = true;
      }
      if (n > 0 && (tlsEnabled_ == 0 || proxy_.IsNegotiating())) static_cast<void>(LogData(1, at, n));
      if (n > 0 && proxy_.IsNegotiating() && ReadsRawReplies(proxy_.GetType())) {
        const int result = Deliver(at, n, 0);
        // A failed negotiation disconnects from inside this loop.
        if (closePending_ != 0 && mode == 0) {
          inReceive_ = 0;
          return FinishDisconnect(pendingCloseCode_, false);
        }
        // Bytes that followed the proxy's reply wait in the queue: the
        // next wait step hands them on even if the peer sends nothing more.
        if (!proxy_.IsNegotiating() && receiveQueue_.Length() > 0) static_cast<void>(MarkReadPending());
        return result;
      }
      if (mode == 0 && n > 0) {
        static_cast<void>(receiveQueue_.CommitWrite(static_cast<unsigned>(n)));  // n fits the span
        // A short read drained the socket: hand on what is complete and let
        // the next wait step read on, sparing a recv that would only block.
        if (static_cast<unsigned>(n) < span) {
          TORNELL_TRY(DeliverRecords());
          if (closePending_ == 0) return 0;
        }
      } else {
        static_cast<void>(receiveQueue_.CommitWrite(static_cast<unsigned>(n)));
        TORNELL_TRY(DeliverRecords());
        char* rest = nullptr;
        unsigned restLength = 0;
        if (MayRead() && closePending_ == 0 && receiveQueue_.ReadAvailable(&rest, &restLength) != 0) {
          static_cast<void>(Deliver(rest, static_cast<int>(restLength), 0));
        }
        if (mode == 1) return 0;
        if (n == 0) {
          inReceive_ = 0;
          if (mode != 0) return 0;
          return FinishDisconnect(pendingCloseCode_, false);
        }
      }
    } else {
      char* all = nullptr;
      unsigned allLength = 0;
      if (receiveQueue_.ReadAvailable(&all, &allLength) != 0) {
        TORNELL_TRY(Deliver(all, static_cast<int>(allLength), 0));
      }
    }
    if (timed && TickDistance(started, TickCountMs()) > static_cast<uint32_t>(maxReceiveDataTime_)) {
      // The next wait step resumes reading, so other work gets its turn.
      static_cast<void>(MarkReadPending());
      return 0;
    }
  }
  if (error == EAGAIN || error == ENOTSOCK || error == ECONNABORTED || error == ECONNRESET) return error;
  char text[48];
  std::snprintf(text, sizeof text, "socket error in recv: %d", error);
  static_cast<void>(proxy_.ReportError(error, text));
  return error;
}

// ---- TLS records --------------------------------------------------------------------------

bool TcpConnection::ReadsTlsRecords(int mode) const {
  return mode == 0 && tlsEnabled_ != 0 && !proxy_.IsNegotiating() && receiveQueue_.Length() == 0 && holdsByte_ == 0;
}

// One read into the record block, handed on whole. Returns 0 when the socket
// may hold more, kTlsReadDrained after a short read, kTlsReadClosed at the
// end of the stream, else the system error.
int TcpConnection::ReceiveTlsRecords() {
  if (tlsReadBlock_.Length() == 0) TORNELL_TRY(tlsReadBlock_.Resize(kTlsReadSize));
  const ssize_t got = recv(descriptor_, tlsReadBlock_.Data(), static_cast<size_t>(kTlsReadSize), 0);
  if (got < 0) return GetSystemError();
  if (got == 0) return kTlsReadClosed;
  static_cast<void>(Deliver(tlsReadBlock_.Data(), static_cast<int>(got), 0));
  return got < kTlsReadSize ? kTlsReadDrained : 0;
}

// ---- fixed-length records -------------------------------------------------------------

int TcpConnection::SplitRecords(const char* data, int length, int eol) {
  splittingRecords_ = 1;
  if (length > 0 && recordBuffer_.Append(data, length) != 0) {
    splittingRecords_ = 0;
    return 0;
  }
  while (recordBuffer_.Length() >= recordLength_ && recordBuffer_.Length() >= 1) {
    int handled = 0;
    if (recordLength_ < 1) {
      ByteString whole;
      whole = std::move(recordBuffer_);
      recordBuffer_.Clear();
      handled = OnRecord(whole.Data(), whole.Length(), eol);
    } else {
      handled = OnRecord(recordBuffer_.Data(), recordLength_, 0);
      static_cast<void>(recordBuffer_.EraseFront(recordLength_));  // within the length
    }
    if (handled != 0) break;
  }
  splittingRecords_ = 0;
  return 0;
}

int TcpConnection::SetRecordLength(int length) {
  recordLength_ = length;
  if (splittingRecords_ != 0) return 0;
  return SplitRecords(nullptr, 0, 0);
}

// ---- transfer rate ----------------------------------------------------------------------

void TcpConnection::NoteTransferred(long bytes, uint32_t now) {
  transferBytes_ += bytes;
  lastActivity_ = static_cast<long>(now);
}

long TcpConnection::GetTransferRate() { return GetTransferRateAt(TickCountMs()); }

// Times are ticks, so spans are taken across the clock's restart: a plain
// difference there went negative and let the sending through unthrottled.
long TcpConnection::GetTransferRateAt(uint32_t now) {
  const long at = static_cast<long>(now);
  const long elapsed = static_cast<long>(TickDistance(static_cast<uint32_t>(windowStart_), now));
  if (static_cast<long>(TickDistance(static_cast<uint32_t>(lastActivity_), now)) > kRateWindowIdleMs) {
    windowStart_ = lastActivity_ = at;
    transferBytes_ = 0;
  }
  if (maxTransferRate_ < 1) return -1;
  if (elapsed < 1) return 0;
  return static_cast<long>(static_cast<double>(transferBytes_) / (static_cast<double>(elapsed) / 1000.0));
}

int TcpConnection::ThrottleTransfer() {
  long rate = GetTransferRate();
  if (rate < 0) return 0;
  while (maxTransferRate_ < rate) {
    if (DoEvents() == 0) return kStatusInterrupted;
    rate = GetTransferRate();
  }
  return 0;
}

}  // namespace tornell
