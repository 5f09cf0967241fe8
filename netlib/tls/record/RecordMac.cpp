// The MAC of records protected with a block or stream cipher: the HMAC of
// TLS 1.0 to 1.2 and the nested hash of SSL 3.0.
#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashContext.h"
#include "tls/engine/TlsEngine.h"

namespace tornell {
namespace {

constexpr int kSsl30 = 0x0300;

int AppendU64(ByteString& out, uint64_t v) {
  for (int shift = 56; shift >= 0; shift -= 8) TORNELL_TRY(out.AppendByte(int((v >> shift) & 0xFF)));
  return kStatusOk;
}

}  // namespace

int TlsEngine::DigestByName(const char* name, const ByteString& data, ByteString& out) {
  HashContext hash;
  TORNELL_TRY(hash.SetAlgorithm(name));
  return hash.Digest(data.Data(), data.Length(), out);
}

int TlsEngine::ComputeRecordMac(const ByteString& data, ByteString& out, uint64_t sequence, int type) {
  ByteString mac;
  TORNELL_TRY(RecordMac(current.writeState, data.Data(), 0, data.Length(), sequence, type, mac));
  return out.Append(mac);
}

int TlsEngine::RecordMac(RecordCipherState& state, const char* data, int offset, int length, uint64_t sequence,
                         int type, ByteString& out) {
  if (current.version > kSsl30) return TlsRecordMac(state, data, offset, length, sequence, type, out);
  return Ssl3RecordMac(state, data, offset, length, sequence, type, out);
}

int TlsEngine::TlsRecordMac(RecordCipherState& state, const char* data, int offset, int length, uint64_t sequence,
                            int type, ByteString& out) {
  ByteString input;
  TORNELL_TRY(AppendU64(input, sequence));
  TORNELL_TRY(input.AppendByte(type));
  TORNELL_TRY(input.AppendByte((current.version >> 8) & 0xFF));
  TORNELL_TRY(input.AppendByte(current.version & 0xFF));
  TORNELL_TRY(input.AppendByte((length >> 8) & 0xFF));
  TORNELL_TRY(input.AppendByte(length & 0xFF));
  TORNELL_TRY(input.Append(data + offset, length));
  return state.Suite().ComputeMac(input, out);
}

int TlsEngine::Ssl3RecordMac(RecordCipherState& state, const char* data, int offset, int length, uint64_t sequence,
                             int type, ByteString& out) {
  CipherSuite& suite = state.Suite();
  SecretBytes secret;
  ByteString pad;
  TORNELL_TRY(suite.GetMacSecret(secret));
  SecretBytes input;
  TORNELL_TRY(input.Assign(secret));
  TORNELL_TRY(suite.Ssl3Pad1(pad));
  TORNELL_TRY(input.Append(pad));
  TORNELL_TRY(AppendU64(input, sequence));
  TORNELL_TRY(input.AppendByte(type));
  TORNELL_TRY(input.AppendByte((length >> 8) & 0xFF));
  TORNELL_TRY(input.AppendByte(length & 0xFF));
  TORNELL_TRY(input.Append(data + offset, length));
  ByteString inner;
  TORNELL_TRY(DigestByName(suite.GetMacHashName(), input, inner));
  TORNELL_TRY(input.Assign(secret));
  TORNELL_TRY(suite.Ssl3Pad2(pad));
  TORNELL_TRY(input.Append(pad));
  TORNELL_TRY(input.Append(inner));
  return DigestByName(suite.GetMacHashName(), input, out);
}

}  // namespace tornell
