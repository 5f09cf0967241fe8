// The record layer of the engine: splitting the input into records,
// unprotecting and dispatching them, reassembling handshake messages, and
// framing, protecting and writing outgoing records.
#include <cstring>
#include <new>
#include <utility>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "crypto/digest/hash/HashContext.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/record/CbcRecordCheck.h"

namespace tornell {
namespace {

constexpr int kChangeCipherSpec = 20;
constexpr int kAlert = 21;
constexpr int kHandshake = 22;
constexpr int kApplicationData = 23;
constexpr int kKeyUpdate = 24;  // handshake message type
constexpr int kSsl30 = 0x0300;
constexpr int kTls10 = 0x0301;
constexpr int kTls12Wire = 0x0303;
constexpr int kExplicitNonce = 8;
// A handshake's transcript and a flight of records run to a few kilobytes:
// room for that at once, instead of growing the bytes message by message.
constexpr int kHandshakeRoom = 4096;
constexpr int kExtServerName = 0;
constexpr int kExtSupportedGroups = 10;
constexpr int kExtAlpn = 16;

const char* const kBadPaddingText = "Invalid padding found in encrypted packet";
const char* const kBadMacText = "Invalid MAC found in encrypted packet";
const char* const kShortAeadText = "AEAD encrypted packet is too short.";

int ReadU16(const char* p) { return (uint8_t(p[0]) << 8) | uint8_t(p[1]); }
int ReadU24(const char* p) { return (uint8_t(p[0]) << 16) | (uint8_t(p[1]) << 8) | uint8_t(p[2]); }

void PutU16(uint8_t* p, int v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) p[i] = uint8_t(v);
}

// A name listed in a comma-separated setting.
bool ListContains(const ByteString& list, const char* name, int length) {
  const char* at = list.CStr();
  while (*at != '\0') {
    const char* end = std::strchr(at, ',');
    const int n = end != nullptr ? int(end - at) : int(std::strlen(at));
    if (n == length && std::memcmp(at, name, size_t(n)) == 0) return true;
    if (end == nullptr) break;
    at = end + 1;
  }
  return false;
}

// A big-endian value of 1 to 4 bytes; -1 when too few bytes remain.
int ReadValue(WireBuffer& in, int width) {
  int value = 0;
  for (int i = 0; i < width; ++i) {
    const int byte = in.GetU8();
    if (byte < 0) return -1;
    value = int((uint32_t(value) << 8) | uint32_t(byte));
  }
  return value;
}

}  // namespace

// ---- input ----------------------------------------------------------------

// The size of the record that starts at bytes, header included; 0 while
// fewer than a header's bytes are there.
int TlsEngine::RecordSize(const char* bytes, int left, int& size) {
  size = 0;
  if (left < kRecordHeader) return kStatusOk;
  const uint8_t first = uint8_t(bytes[0]);
  if (first >= kChangeCipherSpec && first <= kApplicationData) {
    const int fragment = ReadU16(bytes + 3);
    if (fragment > kMaxCiphertext) {
      return FailWithAlert(tlsalert::kRecordOverflow, kStatusIntegrityFailed, "Record exceeds the maximum length");
    }
    size = fragment + kRecordHeader;
  } else if (role == 0 && handshakeState == tlsstate::kAwaitClientHello) {
    size = (ReadU16(bytes) & 0x7FFF) + 2;
  } else {
    return RaiseFatal(kStatusHandshakeFailed, "Unrecognized SSL packet data received.");
  }
  return kStatusOk;
}

int TlsEngine::ProcessInput(const char* data, int length) {
  // A record begun in an earlier call takes only the bytes it lacks; the
  // rest is read where it is, not copied once more.
  if (!receiveBuffer.IsEmpty()) {
    if (failure != 0) return failure;
    if (handshakeState == tlsstate::kClosed) return kStatusOk;
    int size = 0;
    for (;;) {
      TORNELL_TRY(RecordSize(receiveBuffer.Data(), receiveBuffer.Length(), size));
      const int want = (size == 0 ? kRecordHeader : size) - receiveBuffer.Length();
      const int take = want < length ? want : length;
      TORNELL_TRY(receiveBuffer.Append(data, take));
      data += take;
      length -= take;
      if (size != 0 || take < want) break;
    }
    if (size == 0 || receiveBuffer.Length() < size) return kStatusOk;
    ByteString record(std::move(receiveBuffer));
    receiveBuffer.Clear();
    TORNELL_TRY(ProcessRecord(record.Data(), record.Length()));
  }
  int offset = 0;
  while (offset < length) {
    if (failure != 0) return failure;
    // After close_notify nothing more is read from this connection.
    if (handshakeState == tlsstate::kClosed) return kStatusOk;
    const int left = length - offset;
    int size = 0;
    TORNELL_TRY(RecordSize(data + offset, left, size));
    if (size == 0 || size > left) return receiveBuffer.Set(data + offset, left);
    TORNELL_TRY(ProcessRecord(data + offset, size));
    offset += size;
  }
  return failure;
}

int TlsEngine::ProcessRecord(const char* record, int size) {
  int type = uint8_t(record[0]);
  if (type < kChangeCipherSpec || type > kApplicationData) {
    if (role == 0 && handshakeState == tlsstate::kAwaitClientHello) return ProcessSsl2Record(record, size);
    return RaiseFatal(kStatusNegotiationFailed, "SSL 2.0 not supported");
  }
  const char* payload = record + kRecordHeader;
  int length = size - kRecordHeader;
  int wasProtected = 0;
  if (current.HasHelloRandom() != 0 && current.IsReadActive() != 0 && (tls13 == 0 || type == kApplicationData)) {
    TORNELL_TRY(UnprotectRecord(record, size, type, recordScratch));
    payload = recordScratch.Data();
    length = recordScratch.Length();
    wasProtected = 1;
  }
  if (length > kMaxPlaintext) {
    return FailWithAlert(tlsalert::kRecordOverflow, kStatusIntegrityFailed, "Record exceeds the maximum length");
  }
  if (logPackets != 0) {
    ByteString plainRecord;
    const char header[kRecordHeader] = {char(type), record[1], record[2], char(length >> 8), char(length)};
    TORNELL_TRY(plainRecord.Append(header, kRecordHeader));
    TORNELL_TRY(plainRecord.Append(payload, length));
    TORNELL_TRY(TraceRecord(plainRecord.Data(), plainRecord.Length(), wasProtected != 0 ? record : nullptr, size, 0));
  }
  return ProcessRecordBody(type, payload, length, record, size, wasProtected);
}

int TlsEngine::ProcessRecordBody(int type, const char* payload, int length, const char* record, int size,
                                 int wasProtected) {
  if (tls13 != 0 && type == kChangeCipherSpec) {
    // The compatibility ChangeCipherSpec: one, before the peer's Finished; it changes nothing.
    if (length == 1 && uint8_t(payload[0]) == 1 && changeCipherSpecSeen == 0 &&
        handshakeState != tlsstate::kComplete) {
      changeCipherSpecSeen = 1;
      return kStatusOk;
    }
    return FailWithAlert(tlsalert::kUnexpectedMessage, kStatusNegotiationFailed, "Unexpected ChangeCipherSpec message");
  }
  if (tls13 != 0 && current.IsReadActive() != 0 && wasProtected == 0) {
    return FailWithAlert(tlsalert::kUnexpectedMessage, kStatusNegotiationFailed, "Unprotected record received");
  }
  if (!handshakeFragment.IsEmpty() && (type == kChangeCipherSpec || type == kApplicationData)) {
    return FailWithAlert(tlsalert::kUnexpectedMessage, kStatusNegotiationFailed,
                         "Record received inside a fragmented handshake message");
  }
  switch (type) {
    case kChangeCipherSpec: return ProcessChangeCipherSpec(payload, length);
    case kAlert: return ProcessAlert(record, size, payload, length);
    case kHandshake: return ProcessHandshakeRecord(payload, length);
    default: return ProcessApplicationData(payload, length);
  }
}

int TlsEngine::ProcessHandshakeRecord(const char* payload, int length) {
  ByteString joined;
  const char* bytes = payload;
  int total = length;
  if (!handshakeFragment.IsEmpty()) {
    TORNELL_TRY(handshakeFragment.Append(payload, length));
    joined = std::move(handshakeFragment);
    handshakeFragment.Clear();
    bytes = joined.Data();
    total = joined.Length();
  }
  int offset = 0;
  while (offset < total) {
    const int left = total - offset;
    // A tail shorter than a message header waits for the next record.
    if (left < kHandshakeHeader) return handshakeFragment.Set(bytes + offset, left);
    const int body = ReadU24(bytes + offset + 1);
    if (body > kMaxHandshakeMessage) {
      return FailWithAlert(tlsalert::kDecodeError, kStatusNegotiationFailed, "Handshake message too large");
    }
    const int messageSize = body + kHandshakeHeader;
    if (messageSize > left) return handshakeFragment.Set(bytes + offset, left);
    // The keys change after a KeyUpdate: nothing may follow it under the old ones.
    if (tls13 != 0 && uint8_t(bytes[offset]) == kKeyUpdate && messageSize != left) {
      return FailWithAlert(tlsalert::kUnexpectedMessage, kStatusNegotiationFailed,
                           "KeyUpdate not at the end of its record");
    }
    TORNELL_TRY(DispatchHandshakeMessage(bytes + offset, messageSize));
    if (failure != 0) return failure;
    offset += messageSize;
  }
  return kStatusOk;
}

int TlsEngine::ProcessApplicationData(const char* payload, int length) {
  // Data counts only when it was protected by the keys of a finished handshake.
  if (current.IsReadActive() == 0 || established == 0) {
    return FailWithAlert(tlsalert::kUnexpectedMessage, kStatusNegotiationFailed,
                         "Application data received before the handshake completed");
  }
  if (owner == nullptr) return kStatusOk;
  if (!undeliveredData.IsEmpty()) {
    TORNELL_TRY(owner->OnTlsData(undeliveredData.Data(), undeliveredData.Length()));
    undeliveredData.Clear();
  }
  if (length <= 0) return kStatusOk;
  return owner->OnTlsData(payload, length);
}

int TlsEngine::ProcessChangeCipherSpec(const char* payload, int length) {
  if (length != 1 || uint8_t(payload[0]) != 1 || changeCipherSpecSeen != 0 ||
      handshakeState != tlsstate::kAwaitFinished || pending.readState.Suite().IsEmpty() != 0) {
    return FailWithAlert(tlsalert::kUnexpectedMessage, kStatusNegotiationFailed, "Unexpected ChangeCipherSpec message");
  }
  TORNELL_TRY(current.readState.CopyFrom(pending.readState));
  TORNELL_TRY(current.readState.Activate());
  changeCipherSpecSeen = 1;
  TORNELL_TRY(Status("ChangeCipherSpec message received. Switching read context"));
  TORNELL_TRY(current.TakeNegotiated(pending));
  current.UpdatePrfHash();
  return kStatusOk;
}

int TlsEngine::ProcessAlert(const char* record, int size, const char* payload, int length) {
  if (length != 2) return FailWithAlert(tlsalert::kDecodeError, kStatusNegotiationFailed, "Malformed alert received");
  const int level = uint8_t(payload[0]);
  const int description = uint8_t(payload[1]);
  const char* name = tls::AlertName(description, tls13);
  if (tls13 != 0 && description == 1) TORNELL_TRY(AddToHandshakeMessages(1, record, 0, size));
  if (description == tlsalert::kCloseNotify) {
    TORNELL_TRY(Status("Received ALERT_CLOSE_NOTIFY, closing SSL connection"));
    // Before the handshake completed a close is a truncated handshake, not an end.
    if (established == 0) return RaiseFatal(kStatusHandshakeFailed, "Received ALERT_CLOSE_NOTIFY during SSL negotiation");
    int status = kStatusOk;
    if (handshakeState != tlsstate::kClosed) status = SendAlert(tlsalert::kWarning, tlsalert::kCloseNotify);
    handshakeState = tlsstate::kClosed;
    return status == kWouldBlock ? kStatusOk : status;
  }
  ByteString text;
  const bool fatal = level == tlsalert::kFatal || (tls13 != 0 && description != tlsalert::kUserCanceled);
  TORNELL_TRY(text.Set(fatal ? "Received fatal alert: " : "Warning Alert: "));
  TORNELL_TRY(text.Append(name));
  if (fatal) return RaiseFatal(kStatusIntegrityFailed, text.CStr());
  return Status(text.CStr());
}

// ---- unprotecting -----------------------------------------------------------

int TlsEngine::UnprotectRecord(const char* record, int size, int& type, ByteString& plain) {
  RecordCipherState& state = current.readState;
  const uint64_t sequence = state.NextSequence();
  plain.Truncate(0);  // the block stays for the next record
  if (state.Suite().IsAead() != 0) return UnprotectAead(record, size - kRecordHeader, state, sequence, type, plain);
  return UnprotectCbc(record, size - kRecordHeader, state, sequence, type, plain);
}

int TlsEngine::UnprotectAead(const char* record, int length, RecordCipherState& state, uint64_t sequence, int& type,
                             ByteString& plain) {
  CipherSuite& suite = state.Suite();
  const int tag = CipherSuite::kAeadTagLength;
  const char* fragment = record + kRecordHeader;
  uint8_t nonce[32];
  uint8_t aad[13];
  int nonceLength = 0;
  int aadLength = 0;
  const char* sealed = fragment;
  int sealedLength = 0;
  ByteString iv;
  TORNELL_TRY(state.GetFixedIv(iv));
  if (tls13 != 0) {
    if (length <= tag) return FailWithAlert(tlsalert::kDecodeError, kStatusIntegrityFailed, kShortAeadText);
    if (iv.Length() > int(sizeof nonce)) return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadMacText);
    XorSequenceIntoIv(iv, sequence, nonce);
    nonceLength = iv.Length();
    std::memcpy(aad, record, kRecordHeader);
    aadLength = kRecordHeader;
    sealedLength = length - tag;
  } else {
    if (length < tag + kExplicitNonce) return FailWithAlert(tlsalert::kDecodeError, kStatusIntegrityFailed, kShortAeadText);
    if (iv.Length() + kExplicitNonce > int(sizeof nonce)) {
      return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadMacText);
    }
    std::memcpy(nonce, iv.Data(), size_t(iv.Length()));
    std::memcpy(nonce + iv.Length(), fragment, kExplicitNonce);
    nonceLength = iv.Length() + kExplicitNonce;
    sealed = fragment + kExplicitNonce;
    sealedLength = length - kExplicitNonce - tag;
    PutU64(aad, sequence);
    aad[8] = uint8_t(type);
    std::memcpy(aad + 9, record + 1, 2);
    PutU16(aad + 11, sealedLength);
    aadLength = 13;
  }
  TORNELL_TRY(suite.PrepareAead(nonce, nonceLength, aad, aadLength, sealed + sealedLength, tag));
  if (suite.Decrypt(sealed, sealedLength, plain) != kStatusOk) {
    return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadMacText);
  }
  if (tls13 != 0) {
    int end = plain.Length();
    while (end > 0 && plain.Data()[end - 1] == 0) --end;
    if (end == 0) {
      return FailWithAlert(tlsalert::kUnexpectedMessage, kStatusNegotiationFailed, "Record without a content type");
    }
    type = uint8_t(plain.Data()[end - 1]);
    plain.Truncate(end - 1);
  }
  return kStatusOk;
}

// Every failure sends the same alert after the same work (CbcRecordCheck).
int TlsEngine::UnprotectCbc(const char* record, int length, RecordCipherState& state, uint64_t sequence, int type,
                            ByteString& plain) {
  CipherSuite& suite = state.Suite();
  const bool stream = suite.IsRc4() != 0;
  const int block = stream ? 0 : suite.GetBlockBits() / 8;
  const int macLength = suite.GetMacLength();
  const int ivLength = !stream && current.version > kTls10 ? block : 0;
  if (stream) {
    if (length < macLength) return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadMacText);
  } else {
    const int least = ivLength + (block > macLength + 1 ? block : macLength + 1);
    if (block <= 0 || length % block != 0 || length < least) {
      return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadPaddingText);
    }
  }
  SecretBytes opened;
  if (suite.Decrypt(record + kRecordHeader, length, opened) != kStatusOk || opened.Length() != length) {
    return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadMacText);
  }
  const uint8_t* bytes = opened.Bytes();
  if (stream) {
    // RC4 has no padding: the MAC position is public.
    ByteString expected;
    TORNELL_TRY(RecordMac(state, opened.Data(), 0, length - macLength, sequence, type, expected));
    if (expected.Length() != macLength || !ct::BytesEqual(expected.Data(), bytes + length - macLength, size_t(macLength))) {
      return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadMacText);
    }
    return plain.Append(opened.Data(), length - macLength);
  }
  SecretBytes macSecret;
  TORNELL_TRY(suite.GetMacSecret(macSecret));
  CbcRecordHeader header;
  header.sequence = sequence;
  header.type = type;
  header.version = current.version;
  CbcCheckResult check;
  if (CbcRecordCheck::Check(suite.GetMacHash(), macSecret, header, bytes + ivLength, length - ivLength, macLength,
                            check) != kStatusOk) {
    return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed, kBadMacText);
  }
  // The outcome is public from here on: it decides the alert.
  if (check.good == 0) {
    return FailWithAlert(tlsalert::kBadRecordMac, kStatusIntegrityFailed,
                         check.paddingGood == 0 ? kBadPaddingText : kBadMacText);
  }
  return plain.Append(bytes + ivLength, int(check.dataLength));
}

// ---- sending ------------------------------------------------------------------

int TlsEngine::ProtectRecord(int type, int version, const char* data, int length) {
  RecordCipherState& state = current.writeState;
  CipherSuite& suite = state.Suite();
  const uint64_t sequence = state.NextSequence();
  ByteString& out = protectScratch;
  out.Truncate(0);
  uint8_t header[kRecordHeader] = {uint8_t(type), uint8_t(version >> 8), uint8_t(version), 0, 0};
  if (suite.IsAead() != 0) {
    const int tag = CipherSuite::kAeadTagLength;
    ByteString iv;
    TORNELL_TRY(state.GetFixedIv(iv));
    uint8_t nonce[32];
    uint8_t aad[13];
    int nonceLength = 0;
    int aadLength = 0;
    const char* plainData = data;
    int plainLength = length;
    if (tls13 != 0) {
      if (iv.Length() > int(sizeof nonce)) return kStatusIntegrityFailed;
      innerScratch.Truncate(0);
      TORNELL_TRY(innerScratch.Append(data, length));
      TORNELL_TRY(innerScratch.AppendByte(type));
      plainData = innerScratch.Data();
      plainLength = length + 1;
      XorSequenceIntoIv(iv, sequence, nonce);
      nonceLength = iv.Length();
      header[0] = kApplicationData;
      PutU16(header + 3, plainLength + tag);
      std::memcpy(aad, header, kRecordHeader);
      aadLength = kRecordHeader;
      TORNELL_TRY(out.Append(header, kRecordHeader));
    } else {
      if (iv.Length() + kExplicitNonce > int(sizeof nonce)) return kStatusIntegrityFailed;
      std::memcpy(nonce, iv.Data(), size_t(iv.Length()));
      PutU64(nonce + iv.Length(), sequence);
      nonceLength = iv.Length() + kExplicitNonce;
      PutU64(aad, sequence);
      aad[8] = uint8_t(type);
      std::memcpy(aad + 9, header + 1, 2);
      PutU16(aad + 11, length);
      aadLength = 13;
      PutU16(header + 3, length + tag + kExplicitNonce);
      TORNELL_TRY(out.Append(header, kRecordHeader));
      TORNELL_TRY(out.Append(nonce + iv.Length(), kExplicitNonce));
    }
    TORNELL_TRY(suite.PrepareAead(nonce, nonceLength, aad, aadLength, nullptr, 0));
    TORNELL_TRY(suite.Encrypt(plainData, plainLength, out));
  } else {
    const bool stream = suite.IsRc4() != 0;
    const int block = stream ? 0 : suite.GetBlockBits() / 8;
    SecretBytes body;
    if (!stream && current.version > kTls10) TORNELL_TRY(tls::RandomBytes(block, body));
    TORNELL_TRY(body.Append(data, length));
    ByteString mac;
    TORNELL_TRY(RecordMac(state, data, 0, length, sequence, type, mac));
    TORNELL_TRY(body.Append(mac));
    if (!stream && block > 0) {
      int padding = block - ((body.Length() + 1) % block);
      if (padding == block) padding = 0;
      TORNELL_TRY(body.AppendRepeated(padding + 1, padding));
    }
    TORNELL_TRY(out.Append(header, kRecordHeader));
    TORNELL_TRY(suite.Encrypt(body, out));
  }
  PutU16(out.Bytes() + 3, out.Length() - kRecordHeader);
  if (logPackets != 0) {
    ByteString plainRecord;
    const char plainHeader[kRecordHeader] = {char(type), char(version >> 8), char(version), char(length >> 8),
                                             char(length)};
    TORNELL_TRY(plainRecord.Append(plainHeader, kRecordHeader));
    TORNELL_TRY(plainRecord.Append(data, length));
    TORNELL_TRY(TraceRecord(plainRecord.Data(), plainRecord.Length(), out.Data(), out.Length(), 1));
  }
  return SendRecordBytes(out.Data(), out.Length());
}

int TlsEngine::SendRecord(int type, int version, const char* data, int length) {
  if (tls13 != 0) version = kTls12Wire;
  if (length < 0 || length > kMaxPlaintext) return kStatusIntegrityFailed;
  if (current.IsWriteActive() != 0) return ProtectRecord(type, version, data, length);
  ByteString out;
  const uint8_t header[kRecordHeader] = {uint8_t(type), uint8_t(version >> 8), uint8_t(version),
                                         uint8_t(length >> 8), uint8_t(length)};
  if (flightState == kFlightCollecting && logPackets == 0) {
    // Straight into the flight: nothing to trace, so no whole record is needed
    // aside. Room first, so a record is never left half in the flight.
    TORNELL_TRY(flight.Reserve(flight.Length() + kRecordHeader + length));
    TORNELL_TRY(flight.PutBytes(header, kRecordHeader));
    return flight.PutBytes(data, length);
  }
  TORNELL_TRY(out.Append(header, kRecordHeader));
  TORNELL_TRY(out.Append(data, length));
  TORNELL_TRY(TraceRecord(out.Data(), out.Length(), nullptr, 0, 1));
  return SendRecordBytes(out.Data(), out.Length());
}

int TlsEngine::SendRecordBuffer(int type, int version, const WireBuffer& data) {
  return SendRecord(type, version, data.Data(), data.Length());
}

int TlsEngine::SendRecordBytes(const char* data, int length) {
  if (flightState == kFlightCollecting) return flight.PutBytes(data, length);
  return RawSend(data, length);
}

void TlsEngine::BeginFlight() {
  if (flightState == kFlightSending) return;
  (void)flight.Reuse();
  (void)flight.Reserve(kHandshakeRoom);  // without room it grows as it goes
  flightState = kFlightCollecting;
}

int TlsEngine::FlushFlight() {
  if (flightState != kFlightCollecting) return kStatusOk;
  flightState = kFlightSending;
  const int status = flight.Length() > 0 ? RawSend(flight.Data(), flight.Length()) : kStatusOk;
  flightState = kFlightIdle;
  (void)flight.Reuse();
  return status;
}

int TlsEngine::BeginHandshakeMessage(int type, WireBuffer& message) {
  TORNELL_TRY(message.PutU8(type));
  return message.PutU24(0);
}

int TlsEngine::SendHandshakeMessage(WireBuffer& message) {
  if (message.Length() < kHandshakeHeader) return kStatusNegotiationFailed;
  TORNELL_TRY(message.PatchU24(1, message.Length() - kHandshakeHeader));
  TORNELL_TRY(AddToHandshakeMessages(1, message.Data(), 0, message.Length()));
  return SendRecord(kHandshake, pending.version, message.Data(), message.Length());
}

int TlsEngine::AddToHandshakeMessages(int flag, const char* data, int offset, int length) {
  if ((flag & 0xFF) == 0) return kStatusOk;
  if (handshakeMessages.Length() < kHandshakeRoom / 2) (void)handshakeMessages.Reserve(kHandshakeRoom);
  return handshakeMessages.PutBytes(data, offset, length);
}

int TlsEngine::SendAlert(int level, int description) {
  int version = pending.HasHelloRandom() != 0 ? pending.version : current.version;
  if (version == 0) version = kTls10;
  const char body[2] = {char(level), char(description)};
  return SendRecord(kAlert, version, body, 2);
}

int TlsEngine::SendCloseNotify() {
  if (handshakeState == tlsstate::kClosed) return kStatusOk;
  const int status = SendAlert(tlsalert::kWarning, tlsalert::kCloseNotify);
  handshakeState = tlsstate::kClosed;
  return status;
}

// ---- vectors and TLS 1.3 messages ------------------------------------------------

int TlsEngine::ReadIntVector(WireBuffer& in, int lengthWidth, int itemWidth, CodeList& out) {
  if (lengthWidth < 1 || lengthWidth > 4 || itemWidth < 1 || itemWidth > 4) return -1;
  const int total = ReadValue(in, lengthWidth);
  if (total < 0 || total > in.Remaining() || total % itemWidth != 0) return -1;
  for (int read = 0; read < total; read += itemWidth) {
    if (out.Add(ReadValue(in, itemWidth)) != kStatusOk) return -1;
  }
  return total + lengthWidth;
}

int TlsEngine::ReadPairVector(WireBuffer& in, int lengthWidth, int keyWidth, int valueLengthWidth, CodeList& keys,
                              StringList& values) {
  if (lengthWidth < 1 || lengthWidth > 4 || keyWidth < 0 || keyWidth > 4 || valueLengthWidth < 1 ||
      valueLengthWidth > 4) {
    return -1;
  }
  const int total = ReadValue(in, lengthWidth);
  if (total < 0 || total > in.Remaining()) return -1;
  const int end = in.Position() + total;
  while (in.Position() < end) {
    if (end - in.Position() < keyWidth + valueLengthWidth) return -1;
    if (keyWidth > 0 && keys.Add(ReadValue(in, keyWidth)) != kStatusOk) return -1;
    const int valueLength = ReadValue(in, valueLengthWidth);
    if (valueLength < 0 || valueLength > end - in.Position()) return -1;
    if (values.Add(in.Data() + in.Position(), valueLength) != kStatusOk) return -1;
    in.Skip(valueLength);
  }
  return total + lengthWidth;
}

int TlsEngine::ParseEncryptedExtensions(WireBuffer& in, int& consumed) {
  CodeList types;
  StringList bodies;
  consumed = ReadPairVector(in, 2, 2, 2, types, bodies);
  if (consumed < 0) return FailWithAlert(tlsalert::kDecodeError, kStatusNegotiationFailed, "Malformed EncryptedExtensions");
  for (int i = 0; i < types.Count(); ++i) {
    const int type = types.Get(i);
    WireBuffer body(bodies.Get(i), 0, bodies.EntryLength(i));
    if (type == kExtServerName) continue;
    if (type == kExtSupportedGroups) {
      CodeList groups;
      if (ReadIntVector(body, 2, 2, groups) != body.Length()) {
        return FailWithAlert(tlsalert::kDecodeError, kStatusNegotiationFailed, "Malformed supported_groups extension");
      }
      continue;
    }
    if (type == kExtAlpn) {
      // Exactly one protocol, and one that was offered.
      const int listLength = body.PeekU16(0);
      const int nameLength = body.PeekU8(2);
      if (listLength != body.Length() - 2 || nameLength < 1 || nameLength + 1 != listLength ||
          !ListContains(alpnProtocols, body.Data() + 3, nameLength)) {
        return FailWithAlert(tlsalert::kIllegalParameter, kStatusNegotiationFailed, "Unexpected ALPN protocol");
      }
      TORNELL_TRY(negotiatedAlpn.Set(body.Data() + 3, nameLength));
      continue;
    }
    return FailWithAlert(tlsalert::kIllegalParameter, kStatusNegotiationFailed, "Unexpected extension received");
  }
  handshakeState = tlsstate::kTls13Extensions;
  return kStatusOk;
}

int TlsEngine::ParseNewSessionTicket(WireBuffer& in, int& consumed) {
  const int start = in.Position();
  const int fixed = 8;
  int ok = in.Remaining() >= fixed + 1 ? 1 : 0;
  if (ok != 0) {
    in.Skip(fixed);
    const int nonceLength = ReadValue(in, 1);
    ok = nonceLength >= 0 && nonceLength <= in.Remaining() ? 1 : 0;
    if (ok != 0) in.Skip(nonceLength);
  }
  if (ok != 0) {
    const int ticketLength = ReadValue(in, 2);
    ok = ticketLength > 0 && ticketLength <= in.Remaining() ? 1 : 0;
    if (ok != 0) in.Skip(ticketLength);
  }
  if (ok != 0) {
    CodeList types;
    StringList bodies;
    ok = ReadPairVector(in, 2, 2, 2, types, bodies) >= 0 ? 1 : 0;
  }
  if (ok == 0) return FailWithAlert(tlsalert::kDecodeError, kStatusNegotiationFailed, "Malformed NewSessionTicket");
  consumed = in.Position() - start;
  return kStatusOk;
}

void TlsEngine::XorSequenceIntoIv(const ByteString& iv, uint64_t sequence, uint8_t* out) {
  const int n = iv.Length();
  std::memcpy(out, iv.Data(), size_t(n));
  for (int i = 0; i < 8 && i < n; ++i) out[n - 1 - i] ^= uint8_t(sequence >> (8 * i));
}

}  // namespace tornell
