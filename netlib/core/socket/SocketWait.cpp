#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "core/socket/SocketCore.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {

constexpr uint32_t kTickModulo = kTickPeriodMs;

// A span longer than the clock's period cannot be told apart from a shorter
// one after the wrap; such time-outs end after one period (about 11.5 days).
uint32_t SpanOf(int milliseconds) {
  if (milliseconds <= 0) return 0;
  const uint32_t span = static_cast<uint32_t>(milliseconds);
  return span < kTickModulo ? span : kTickModulo - 1;
}

// Deadlines are kept below the period; 0 means "none", so a deadline that
// falls exactly on the wrap is written as the period itself (same tick).
uint32_t DeadlineAt(uint32_t now, uint32_t span) {
  const uint32_t at = (now % kTickModulo + span) % kTickModulo;
  return at != 0 ? at : kTickModulo;
}

// The deadline now + milliseconds (0: none), remembering when it was armed.
uint32_t ArmDeadline(int milliseconds, uint32_t* armedAt) {
  if (milliseconds == 0) return 0;
  *armedAt = TickCountMs();
  return DeadlineAt(*armedAt, SpanOf(milliseconds));
}

// Same unit rule for the Timeout and the idle time-out. The value is the
// caller's int (negative ones carry a meaning of their own); a number of
// seconds too large for the int is held as the longest time-out rather than
// wrapping into a short or negative one.
int ToMilliseconds(unsigned value, uint8_t millisecondsFlag) {
  const int64_t given = static_cast<int32_t>(value);
  const int64_t ms = millisecondsFlag != 0 ? given : given * 1000;
  if (ms > INT32_MAX) return INT32_MAX;
  return ms < INT32_MIN ? INT32_MIN : static_cast<int>(ms);
}

int FromMilliseconds(int value, uint8_t millisecondsFlag) {
  return millisecondsFlag != 0 ? value : value / 1000;
}

}  // namespace

uint32_t TickDistance(uint32_t from, uint32_t to) {
  return (to % kTickModulo + kTickModulo - from % kTickModulo) % kTickModulo;
}

bool TickDeadlinePassed(uint32_t armedAt, uint32_t deadline, uint32_t now) {
  return TickDistance(armedAt, now) > TickDistance(armedAt, deadline);
}

// ---- time-outs ----------------------------------------------------------------

int SocketCore::SetTimeout(unsigned value, int resetDeadline) {
  if (resetDeadline != 0) deadline_ = 0;
  timeout_ = ToMilliseconds(value, millisecondsFlag_);
  return kStatusOk;
}

int SocketCore::GetTimeout() const { return FromMilliseconds(timeout_, millisecondsFlag_); }

uint32_t SocketCore::StartTimeout() {
  RestartIdleTimer();
  return deadline_ = ArmDeadline(timeout_, &deadlineArmedAt_);
}

// A deadline handed back (saved around a wait with another Timeout) lies at
// most half a period away: nearer ahead it is still running, behind it passed.
int SocketCore::SetDeadline(uint32_t deadline) {
  deadline_ = deadline;
  if (deadline == 0) return kStatusOk;
  const uint32_t now = TickCountMs();
  deadlineArmedAt_ = TickDistance(now, deadline) <= kTickModulo / 2
                         ? now
                         : (deadline % kTickModulo + kTickModulo - 1) % kTickModulo;
  return kStatusOk;
}

int SocketCore::SetIdleTimeout(unsigned value, int resetDeadline) {
  if (resetDeadline != 0) idleDeadline_ = 0;
  idleTimeout_ = ToMilliseconds(value, millisecondsFlag_);
  RestartIdleTimer();
  return kStatusOk;
}

int SocketCore::GetIdleTimeout() const { return FromMilliseconds(idleTimeout_, millisecondsFlag_); }

uint32_t SocketCore::RestartIdleTimer() { return idleDeadline_ = ArmDeadline(idleTimeout_, &idleArmedAt_); }

bool SocketCore::IdleDeadlinePassed() const {
  return idleDeadline_ != 0 && TickDeadlinePassed(idleArmedAt_, idleDeadline_, TickCountMs());
}

// ---- registration ----------------------------------------------------------------

int SocketCore::AsyncSelect(int descriptor, void*, unsigned message, long mask) {
  eventDescriptor_ = descriptor;
  eventMessage_ = message;
  eventMask_ = mask;
  if (mask != 0) {
    int flags = fcntl(descriptor, F_GETFL);
    if (flags == -1) flags = 0;
    fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
  }
  if (externalLoop_ != 0) {
    if (externalHandle_ != nullptr) ExternalUnregisterSocket(externalHandle_);
    externalHandle_ = nullptr;
    if (mask != 0) RegisterSocket(descriptor, mask, externalHandle_);
  }
  return kStatusOk;
}

int SocketCore::AddEventMask(long bits) {
  eventMask_ |= bits;
  if (externalLoop_ != 0) RegisterSocket(eventDescriptor_, eventMask_, externalHandle_);
  return kStatusOk;
}

int SocketCore::ClearEventMaskBits(long bits) {
  eventMask_ &= ~bits;
  if (externalLoop_ != 0) RegisterSocket(eventDescriptor_, eventMask_, externalHandle_);
  return kStatusOk;
}

int SocketCore::MarkReadPending() {
  readPending_ = 1;
  return kDone;
}

int SocketCore::SetExternalEventLoop(int on) {
  externalLoop_ = on != 0 ? 1 : 0;
  return kStatusOk;
}

// ---- wait steps ----------------------------------------------------------------------

bool SocketCore::ConsumeInterrupt() {
  if (interruptRequest_ == 0) return false;
  interruptRequest_ = 0;
  interrupted_ = 1;
  SetErrorText("Interrupted.");
  return true;
}

int SocketCore::DoEvents(int milliseconds, void*) {
  if (ConsumeInterrupt()) return kWaitStop;
  if (externalLoop_ == 0) {
    WaitForEvents(milliseconds);
  } else {
    WaitForEvents(0);
    long wait = milliseconds;
    ExternalWait(wait);
    if (wait == -1) {
      interruptRequest_ = 1;
    } else {
      WaitForEvents(static_cast<int>(wait));
    }
  }
  if (ConsumeInterrupt()) return kWaitStop;
  if (deadline_ != 0 && TickDeadlinePassed(deadlineArmedAt_, deadline_, TickCountMs())) {
    SetErrorText("Timeout.");
    return kWaitStop;
  }
  return kWaitGoOn;
}

int SocketCore::DoEventsOnce() {
  DoEvents(selectWait_, nullptr);
  return kStatusOk;
}

int SocketCore::PollEvents(long) { return WaitForEvents(0); }

// poll() rather than select(): an fd_set cannot hold a descriptor of 1024 or
// more. The ready bits are read as select() would see them: readable on
// data, hang-up or error; writable (only when asked) on space or error;
// exceptional on urgent data.
int SocketCore::WaitForEvents(int milliseconds, unsigned message) {
  int fd = eventDescriptor_;
  if (fd == -1) return kStatusOk;
  if (readPending_ != 0) {
    HandleMessage(static_cast<int>(message), static_cast<unsigned long>(fd), kEventRead);
    readPending_ = 0;
    fd = eventDescriptor_;
    if (fd == -1) return kStatusOk;
  }
  const bool wantWrite = (eventMask_ & kEventWrite) != 0;
  pollfd entry{};
  entry.fd = fd;
  entry.events = static_cast<short>(POLLIN | POLLPRI | (wantWrite ? POLLOUT : 0));
  const int wait = milliseconds > 0 ? milliseconds : 0;
  int ready = -1;
  for (int attempt = 0; attempt < 3; ++attempt) {
    ready = poll(&entry, 1, wait);
    if (ready >= 0 || errno != EINTR) break;
  }
  int error = ready < 0 ? errno : 0;
  if (ready > 0 && (entry.revents & POLLNVAL) != 0) error = EBADF;
  if (ready < 0 && error == EINTR) return kStatusOk;
  if (error != 0) {
    if ((eventMask_ & kEventClose) != 0) {
      HandleMessage(static_cast<int>(message), static_cast<unsigned long>(fd),
                    static_cast<long>(error) << 16 | kEventClose);
    }
    return kStatusFailed;
  }
  if (ready == 0) return kStatusOk;
  return DeliverReady(fd, message, entry.revents, wantWrite);
}

int SocketCore::DeliverReady(int fd, unsigned message, short revents, bool wantWrite) {
  const int msg = static_cast<int>(message);
  const unsigned long descriptor = static_cast<unsigned long>(fd);
  const bool readable = (revents & (POLLIN | POLLRDNORM | POLLRDBAND | POLLHUP | POLLERR)) != 0;
  const bool writable = wantWrite && (revents & (POLLOUT | POLLWRNORM | POLLWRBAND | POLLERR)) != 0;
  const bool exceptional = (revents & POLLPRI) != 0;
  // Bits are cleared before a handler runs, so one that registers afresh
  // (a connect to the next address) keeps what it asked for.
  if (exceptional && (eventMask_ & kEventConnect) != 0) {
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    const long error = getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 ? ENOTCONN : 0;
    eventMask_ &= ~kEventConnect;
    HandleMessage(msg, descriptor, error << 16 | kEventConnect);
  }
  if (writable) {
    if ((eventMask_ & kEventConnect) != 0) {
      int error = 0;
      socklen_t size = sizeof error;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      eventMask_ &= ~kEventConnect;
      HandleMessage(msg, descriptor, static_cast<long>(error) << 16 | kEventConnect);
    }
    if ((eventMask_ & kEventWrite) != 0) {
      eventMask_ &= ~kEventWrite;
      HandleMessage(msg, descriptor, kEventWrite);
    }
  }
  if (readable && eventDescriptor_ == fd) {
    HandleMessage(msg, descriptor, (eventMask_ & kEventAccept) != 0 ? kEventAccept : kEventRead);
  }
  return kStatusOk;
}

}  // namespace tornell
