// TLS 1.3 KeyUpdate (RFC 8446 section 4.6.3): either side may move its
// sending keys on after the handshake; the receiver follows on its read
// side and, when asked, answers with a KeyUpdate of its own.
#include "core/base/Status.h"
#include "tls/engine/TlsEngine.h"
#include "tls/handshake/HandshakeNumbers.h"

namespace tornell {

using namespace hs;

namespace {

constexpr int kHandshakeRecord = 22;
constexpr int kUpdateNotRequested = 0;
constexpr int kUpdateRequested = 1;

}  // namespace

int TlsEngine::ProcessKeyUpdate(WireBuffer& in, int length) {
  TORNELL_TRY(Status("KeyUpdate message received"));
  // Before both Finished messages there are no application secrets to move on.
  if (tls13 == 0 || handshakeState != tlsstate::kComplete) return FailWithAlertOnly(tlsalert::kUnexpectedMessage);
  if (length != 1) return FailWithAlertOnly(tlsalert::kDecodeError);
  const int request = in.GetU8();
  if (request != kUpdateNotRequested && request != kUpdateRequested) {
    return FailWithAlertOnly(tlsalert::kIllegalParameter);
  }
  TORNELL_TRY(UpdateTrafficSecret(0));
  if (request == kUpdateNotRequested) return kStatusOk;
  // Answered at once, so that no later record of ours goes out under the old keys.
  const int sent = SendKeyUpdate(kUpdateNotRequested);
  return sent == kWouldBlock ? kStatusOk : sent;
}

int TlsEngine::SendKeyUpdate(int requestUpdate) {
  if (failure != 0) return failure;
  if (tls13 == 0 || handshakeState != tlsstate::kComplete || current.IsWriteActive() == 0) {
    return kStatusNotEstablished;
  }
  WireBuffer message;
  TORNELL_TRY(BeginHandshakeMessage(kKeyUpdate, message));
  TORNELL_TRY(message.PutU8(requestUpdate != 0 ? kUpdateRequested : kUpdateNotRequested));
  TORNELL_TRY(message.PatchU24(1, message.Length() - kHandshakeHeader));
  // Post-handshake messages stay out of the transcript.
  const int sent = SendRecord(kHandshakeRecord, current.version, message.Data(), message.Length());
  if (sent != kStatusOk && sent != kWouldBlock) return sent;
  TORNELL_TRY(Status("KeyUpdate message sent"));
  TORNELL_TRY(UpdateTrafficSecret(1));
  return sent;
}

}  // namespace tornell
