// Text descriptions of the tokens that pass through the provider, for its
// diagnostic log. Every read is bounded by the token: the offsets come from
// the peer. The log never receives a zero byte, so it reads whole as a C text.
#include <cstdio>

#include "core/base/Status.h"
#include "net/auth/NtlmProvider.h"

namespace tornell {

namespace {

constexpr int kTypeNegotiate = 1;
constexpr int kTypeChallenge = 2;
constexpr int kTypeAuthenticate = 3;
constexpr int kFieldBytes = 8;
constexpr int kVersionBytes = 8;
constexpr int kRawLineLength = 64;
constexpr int kAvEol = 0;
constexpr int kAvTimestamp = 7;

struct SecurityBuffer {
  int length = 0;
  int maxLength = 0;
  int offset = 0;
};

SecurityBuffer ReadField(NtlmMessageBuffer& buffer) {
  SecurityBuffer field;
  field.length = static_cast<int>(buffer.ReadLittleEndian(2));
  field.maxLength = static_cast<int>(buffer.ReadLittleEndian(2));
  field.offset = static_cast<int>(buffer.ReadLittleEndian(4) & 0x7FFFFFFF);
  return field;
}

// Printable form of a text byte: a zero byte would cut the log.
int AppendTextByte(ByteString& log, unsigned c) { return log.AppendByte(c == 0 ? '?' : static_cast<int>(c)); }

// UTF-16LE names as their low bytes.
int AppendUtf16Text(ByteString& log, const unsigned char* bytes, int length) {
  for (int i = 0; i + 1 < length; i += 2) TORNELL_TRY(AppendTextByte(log, bytes[i]));
  return kStatusOk;
}

int AppendOemText(ByteString& log, const unsigned char* bytes, int length) {
  for (int i = 0; i < length; ++i) TORNELL_TRY(AppendTextByte(log, bytes[i]));
  return kStatusOk;
}

// The part of [offset, offset + length) that lies inside the message.
int Clip(const NtlmMessageBuffer& buffer, int offset, int length) {
  if (offset < 0 || offset >= buffer.GetLimit() || length <= 0) return 0;
  return length < buffer.GetLimit() - offset ? length : buffer.GetLimit() - offset;
}

const char* AvName(int id) {
  switch (id) {
    case 1: return "1 (Server name)";
    case 2: return "2 (Domain name)";
    case 3: return "3 (DNS server name)";
    case 4: return "4 (DNS domain name)";
    case 7: return "7 (Timestamp)";
    default: return nullptr;
  }
}

int DumpTargetInfo(const NtlmMessageBuffer& buffer, const SecurityBuffer& field, ByteString& log) {
  const int wanted = field.length < field.maxLength ? field.length : field.maxLength;
  const int size = Clip(buffer, field.offset, wanted);
  const unsigned char* at = buffer.Bytes() + (size > 0 ? field.offset : 0);
  TORNELL_TRY(log.Append("\tTarget Information: "));
  int i = 0;
  // Each pair's header and value must lie inside the field.
  while (i + 4 <= size) {
    const int id = at[i] | (at[i + 1] << 8);
    const int length = at[i + 2] | (at[i + 3] << 8);
    if (id == kAvEol) break;
    const int valueLength = length < size - i - 4 ? length : size - i - 4;
    const unsigned char* value = at + i + 4;
    TORNELL_TRY(log.Append("Type: "));
    const char* name = AvName(id);
    if (name != nullptr) {
      TORNELL_TRY(log.Append(name));
    } else {
      TORNELL_TRY(log.AppendFormat("%d", id));
    }
    TORNELL_TRY(log.Append(", Data: "));
    if (id >= 1 && id <= 5) {
      TORNELL_TRY(AppendUtf16Text(log, value, valueLength));
    } else {
      TORNELL_TRY(log.AppendHex(value, valueLength));
    }
    TORNELL_TRY(log.Append("\t"));
    i += 4 + valueLength;
  }
  return log.Append("\r\n");
}

}  // namespace

int NtlmProvider::DumpField(const char* label, const NtlmMessageBuffer& buffer, int offset,
                            int length, int maxLength, bool unicode, ByteString& log, bool hex) {
  if (length <= 0) return kStatusOk;
  const int wanted = length < maxLength ? length : maxLength;
  const int size = Clip(buffer, offset, wanted);
  const unsigned char* bytes = buffer.Bytes() + (size > 0 ? offset : 0);
  TORNELL_TRY(log.AppendByte('\t'));
  TORNELL_TRY(log.Append(label));
  TORNELL_TRY(log.Append(": "));
  if (hex) {
    TORNELL_TRY(log.AppendHex(bytes, size));
  } else if (unicode) {
    TORNELL_TRY(AppendUtf16Text(log, bytes, size));
  } else {
    TORNELL_TRY(AppendOemText(log, bytes, size));
  }
  return log.Append("\r\n");
}

int NtlmProvider::DumpVersion(NtlmMessageBuffer& buffer, ByteString& log) {
  const int major = static_cast<int>(buffer.ReadLittleEndian(1));
  const int minor = static_cast<int>(buffer.ReadLittleEndian(1));
  const int build = static_cast<int>(buffer.ReadLittleEndian(2));
  buffer.Skip(3);
  const int revision = static_cast<int>(buffer.ReadLittleEndian(1));
  return log.AppendFormat("\tOS Version: Version %d.%d (Build %d); NTLM Current Revision %d\r\n",
                          major, minor, build, revision);
}

int NtlmProvider::DumpNegotiate(NtlmMessageBuffer& buffer, ByteString& log) {
  const uint32_t flags = buffer.ReadLittleEndian(4);
  TORNELL_TRY(log.AppendFormat("\tNTLM Message Type: Negotiate\r\n\tFlags: 0x%x\r\n", flags));
  if (buffer.GetLimit() <= 16) return kStatusOk;
  const SecurityBuffer domain = ReadField(buffer);
  const SecurityBuffer workstation = ReadField(buffer);
  const int payload = domain.offset < workstation.offset ? domain.offset : workstation.offset;
  if (buffer.GetPosition() < payload || (payload < 1 && buffer.HasMore())) {
    TORNELL_TRY(DumpVersion(buffer, log));
  }
  TORNELL_TRY(DumpField("Supplied Domain", buffer, domain.offset, domain.length, domain.maxLength,
                        false, log, false));
  return DumpField("Supplied Workstation", buffer, workstation.offset, workstation.length,
                   workstation.maxLength, false, log, false);
}

int NtlmProvider::DumpChallenge(NtlmMessageBuffer& buffer, ByteString& log) {
  TORNELL_TRY(log.Append("\tNTLM Message Type: Challenge\r\n\tFlags: "));
  const SecurityBuffer target = ReadField(buffer);
  const uint32_t flags = buffer.ReadLittleEndian(4);
  TORNELL_TRY(log.AppendFormat("0x%x\r\n", flags));
  TORNELL_TRY(DumpField("Target Name: ", buffer, target.offset, target.length, target.maxLength,
                        (flags & kNegotiateUnicode) != 0, log, false));
  ByteString bytes;
  TORNELL_TRY(buffer.ReadBytes(bytes, kChallengeBytes));
  TORNELL_TRY(log.Append("\tChallenge: "));
  TORNELL_TRY(log.AppendHex(bytes.Data(), bytes.Length()));
  TORNELL_TRY(log.Append("\r\n"));
  // The reserved bytes are always there; the target information follows them.
  TORNELL_TRY(buffer.ReadBytes(bytes, kFieldBytes));
  if ((flags & kTargetTypeDomain) != 0) {
    TORNELL_TRY(log.Append("\tReserved: "));
    TORNELL_TRY(log.AppendHex(bytes.Data(), bytes.Length()));
    TORNELL_TRY(log.Append("\r\n"));
  }
  // The field is there whatever the flags say; the VERSION field follows it.
  const SecurityBuffer info = ReadField(buffer);
  if ((flags & kNegotiateTargetInfo) != 0 && info.length > 0) TORNELL_TRY(DumpTargetInfo(buffer, info, log));
  // A message that ends before the VERSION field has none to show.
  if ((flags & kNegotiateVersion) != 0 && buffer.GetPosition() + kVersionBytes <= buffer.GetLimit()) {
    TORNELL_TRY(DumpVersion(buffer, log));
  }
  return kStatusOk;
}

int NtlmProvider::DumpAuthenticate(NtlmMessageBuffer& buffer, ByteString& log) {
  TORNELL_TRY(log.Append("\tNTLM Message Type: Authenticate\r\n"));
  const SecurityBuffer lm = ReadField(buffer);
  const SecurityBuffer nt = ReadField(buffer);
  const SecurityBuffer domain = ReadField(buffer);
  const SecurityBuffer user = ReadField(buffer);
  const SecurityBuffer workstation = ReadField(buffer);
  int payload = lm.offset;
  for (const SecurityBuffer* field : {&nt, &domain, &user, &workstation}) {
    if (field->offset < payload) payload = field->offset;
  }
  auto more = [&]() { return buffer.GetPosition() < payload || (payload < 1 && buffer.HasMore()); };
  uint32_t flags = 0;
  SecurityBuffer key;
  if (more()) {
    key = ReadField(buffer);
    flags = buffer.ReadLittleEndian(4);
    TORNELL_TRY(log.AppendFormat("\tFlags: 0x%x\r\n", flags));
    if (more()) TORNELL_TRY(DumpVersion(buffer, log));
  }
  const bool unicode = (flags & kNegotiateUnicode) != 0;
  TORNELL_TRY(DumpField("Domain Name", buffer, domain.offset, domain.length, domain.maxLength, unicode, log, false));
  TORNELL_TRY(DumpField("User", buffer, user.offset, user.length, user.maxLength, unicode, log, false));
  TORNELL_TRY(DumpField("Workstation", buffer, workstation.offset, workstation.length, workstation.maxLength,
                        unicode, log, false));
  TORNELL_TRY(DumpField("LM/LMv2 Response", buffer, lm.offset, lm.length, lm.maxLength, unicode, log, true));
  TORNELL_TRY(DumpField("NTLM/NTLMv2 Response", buffer, nt.offset, nt.length, nt.maxLength, unicode, log, true));
  return DumpField("Session Key", buffer, key.offset, key.length, key.maxLength, unicode, log, true);
}

int NtlmProvider::DumpToken(const ByteString& token, ByteString& log) {
  if (token.IsEmpty()) return log.Append("Token is empty.\r\n");
  if (token.StartsWith("NTLMSSP")) {
    TORNELL_TRY(log.AppendFormat("Found NTLM token:\r\n\tLength: %d\r\n", token.Length()));
    NtlmMessageBuffer buffer;
    TORNELL_TRY(buffer.Load(token.Data(), token.Length()));
    ByteString signature;
    TORNELL_TRY(buffer.ReadCString(signature));
    const uint32_t type = buffer.ReadLittleEndian(4);
    TORNELL_TRY(log.Append("\tNTLMSSP Signature: "));
    TORNELL_TRY(AppendOemText(log, signature.Bytes(), signature.Length()));
    TORNELL_TRY(log.Append("\r\n"));
    if (type == kTypeNegotiate) TORNELL_TRY(DumpNegotiate(buffer, log));
    if (type == kTypeChallenge) TORNELL_TRY(DumpChallenge(buffer, log));
    if (type == kTypeAuthenticate) TORNELL_TRY(DumpAuthenticate(buffer, log));
  } else if ((token.ByteAt(0) & 0x60) == 0x60) {
    TORNELL_TRY(DumpGssToken(token, log));
  } else {
    TORNELL_TRY(log.Append("Unknown token type.\r\n"));
  }
  TORNELL_TRY(log.Append("\tRaw Data: "));
  TORNELL_TRY(log.AppendBase64(token.Data(), token.Length(), 1, kRawLineLength, 0));
  return log.Append("\r\n");
}

}  // namespace tornell
