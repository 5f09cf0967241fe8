#include <cstring>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"
#include "crypto/cipher/block/CryptDes.h"
#include "crypto/random/RandomSource.h"
#include "net/auth/NtlmDigest.h"
#include "net/auth/NtlmProvider.h"

namespace tornell {

namespace {

const char kSignature[] = "NTLMSSP";
constexpr int kNegotiateType = 1;
constexpr int kChallengeType = 2;
constexpr int kAuthenticateType = 3;
// Signature, type, target name fields, flags and server challenge.
constexpr int kMinChallengeBytes = 32;
constexpr int kNtlmRevision = 15;
constexpr int kSecurityBufferBytes = 8;
constexpr int kMaxFieldBytes = 0xFFFF;
constexpr int kAuthenticateZeroFields = 6;

constexpr int kNegotiateDomainField = 16;
constexpr int kNegotiateFlagsAt = 12;
constexpr int kLmResponseField = 12;
constexpr int kNtResponseField = 20;
constexpr int kDomainField = 28;
constexpr int kUserField = 36;
constexpr int kWorkstationField = 44;
constexpr int kSessionKeyField = 52;

const char kBadSignatureText[] = "Could not process server's NTLM authentication token: invalid signature.";
const char kBadTypeText[] = "Could not process server's NTLM authentication token: invalid message type.";
const char kTooShortText[] = "Could not process server's NTLM authentication token: message too short.";
const char kNoCharsetText[] = "Could not process server's NTLM authentication token: no charset negotiated.";
const char kNoVersionText[] =
    "Could not process server's NTLM authentication token: no NTLM version negotiated.";
const unsigned char kLmMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};

int StartMessage(NtlmMessageBuffer& buffer, int type) {
  buffer.Reset();
  TORNELL_TRY(buffer.AppendCString(kSignature));
  return buffer.AppendInt(static_cast<uint32_t>(type), 4);
}

// A buffer failure carries its own text (empty for a plain write past the end).
int BufferFailure(NtlmProvider& provider, const NtlmMessageBuffer& buffer, int code) {
  return provider.SetError(code, buffer.GetErrorText());
}

}  // namespace

int NtlmProvider::WriteVersion(NtlmMessageBuffer& buffer) {
  TORNELL_TRY(buffer.AppendInt(0, 1));  // ProductMajorVersion
  TORNELL_TRY(buffer.AppendInt(0, 1));  // ProductMinorVersion
  TORNELL_TRY(buffer.AppendInt(0, 2));  // ProductBuild
  TORNELL_TRY(buffer.AppendInt(0, 3));  // reserved
  return buffer.AppendInt(kNtlmRevision, 1);
}

int NtlmProvider::WriteSecurityBuffer(NtlmMessageBuffer& buffer, const void* data, int length,
                                      int fieldOffset) {
  if (length <= 0) return kStatusOk;
  // Len is 16 bits: a longer name would be cut and misdescribe the payload.
  if (length > kMaxFieldBytes) return ByteCursor::kStatusOverflow;
  TORNELL_TRY(buffer.WriteIntAt(fieldOffset, static_cast<uint32_t>(length), 2));
  TORNELL_TRY(buffer.WriteIntAt(fieldOffset + 2, static_cast<uint32_t>(length), 2));
  TORNELL_TRY(buffer.WriteIntAt(fieldOffset + 4, static_cast<uint32_t>(buffer.Length()), 4));
  return buffer.WriteAt(-1, data, 0, length);
}

int NtlmProvider::WriteSecurityBuffer(NtlmMessageBuffer& buffer, const void* data, int length,
                                      int fieldOffset, uint32_t& flags, uint32_t flag) {
  if (length <= 0) return kStatusOk;
  TORNELL_TRY(WriteSecurityBuffer(buffer, data, length, fieldOffset));
  flags |= flag;
  return kStatusOk;
}

int NtlmProvider::BuildNegotiate(ByteString& out) {
  NtlmMessageBuffer buffer;
  int status = StartMessage(buffer, kNegotiateType);
  if (status == 0) status = buffer.AppendInt(0, 4);                     // flags, written below
  if (status == 0) status = buffer.AppendInt(0, kSecurityBufferBytes);  // DomainNameFields
  if (status == 0) status = buffer.AppendInt(0, kSecurityBufferBytes);  // WorkstationFields
  if (status == 0) status = WriteVersion(buffer);
  flags_ = kNegotiateFlags;
  uint32_t working = flags_;
  if (status == 0) {
    status = WriteSecurityBuffer(buffer, domain_.Data(), domain_.Length(), kNegotiateDomainField,
                                 working, kNegotiateOemDomainSupplied);
  }
  if (status == 0) status = buffer.WriteIntAt(kNegotiateFlagsAt, working, 4);
  if (status != 0) return BufferFailure(*this, buffer, status);
  return out.Set(buffer.Data(), buffer.Length());
}

// Names go out as UTF-16LE by widening each byte, whatever the server chose.
int NtlmProvider::AppendUtf16(ByteString& out, const ByteString& text) {
  for (int i = 0; i < text.Length(); ++i) {
    TORNELL_TRY(out.AppendByte(text.ByteAt(i)));
    TORNELL_TRY(out.AppendByte(0));
  }
  return kStatusOk;
}

int NtlmProvider::NtHash(ByteString& out) const {
  SecretBytes wide;
  for (int i = 0; i < password_.Length(); ++i) {
    TORNELL_TRY(wide.AppendByte(password_.ByteAt(i)));
    TORNELL_TRY(wide.AppendByte(0));
  }
  NtlmDigest digest;
  TORNELL_TRY(digest.Md4(wide.Data(), wide.Length()));
  return out.Set(digest.Data(), digest.Length());
}

int NtlmProvider::LmHash(unsigned char out[16], const char* password, int length) {
  unsigned char upper[14] = {};
  for (int i = 0; i < 14 && i < length; ++i) {
    // ASCII a to z only, without a branch on the password byte.
    const unsigned c = static_cast<unsigned char>(password[i]);
    const unsigned lower = ((c - 'a') <= ('z' - 'a')) ? 1u : 0u;
    upper[i] = static_cast<unsigned char>(c - (lower << 5));
  }
  unsigned char key[8];
  for (int half = 0; half < 2; ++half) {
    std::memcpy(key, upper + 7 * half, 7);
    MakeDesKey(key);
    std::memcpy(out + 8 * half, kLmMagic, 8);
    CryptDesEcbEncrypt(out + 8 * half, 1, key);
  }
  SecureWipeObject(upper);
  SecureWipeObject(key);
  return kStatusOk;
}

void NtlmProvider::MakeDesKey(unsigned char buf[8]) {
  const unsigned char* s = buf;
  unsigned char k[8];
  k[0] = s[0];
  k[1] = static_cast<unsigned char>((s[0] << 7) | (s[1] >> 1));
  k[2] = static_cast<unsigned char>((s[1] << 6) | (s[2] >> 2));
  k[3] = static_cast<unsigned char>((s[2] << 5) | (s[3] >> 3));
  k[4] = static_cast<unsigned char>((s[3] << 4) | (s[4] >> 4));
  k[5] = static_cast<unsigned char>((s[4] << 3) | (s[5] >> 5));
  k[6] = static_cast<unsigned char>((s[5] << 2) | (s[6] >> 6));
  k[7] = static_cast<unsigned char>(s[6] << 1);
  for (int i = 0; i < 8; ++i) {
    unsigned v = k[i] & 0xFEu;
    // Parity of bits 7..1 by folding, so the key bits choose no branch.
    unsigned p = v ^ (v >> 4);
    p ^= p >> 2;
    p ^= p >> 1;
    buf[i] = static_cast<unsigned char>(v | ((p & 1u) ^ 1u));
  }
  SecureWipeObject(k);
}

int NtlmProvider::DesEncryptBlock(ByteString& out, const unsigned char block[8],
                                  const unsigned char key[8]) {
  unsigned char copy[8];
  std::memcpy(copy, block, 8);
  CryptDesEcbEncrypt(copy, 1, key);
  const int status = out.Append(copy, 8);
  SecureWipeObject(copy);
  return status;
}

int NtlmProvider::DesL(ByteString& out, const unsigned char key[16], const unsigned char data[8]) {
  unsigned char keys[3][8] = {};
  std::memcpy(keys[0], key, 7);
  std::memcpy(keys[1], key + 7, 7);
  std::memcpy(keys[2], key + 14, 2);
  int status = kStatusOk;
  for (auto& k : keys) {
    MakeDesKey(k);
    if (status == kStatusOk) status = DesEncryptBlock(out, data, k);
  }
  SecureWipeObject(keys);
  return status;
}

int NtlmProvider::DrawClientChallenge(unsigned char out[kChallengeBytes]) {
  if (useFixedChallenge_) {
    std::memcpy(out, fixedChallenge_, kChallengeBytes);
    useFixedChallenge_ = false;
    return kStatusOk;
  }
  // Unpredictable and never a zero byte (1 to 255), from the library's
  // generator: a guessable client challenge weakens the response.
  RandomSource().FillNonZero(out, 0, kChallengeBytes);
  return kStatusOk;
}

int NtlmProvider::ProcessChallenge(ByteString& out, const ByteString& challenge) {
  NtlmMessageBuffer message;
  int status = message.Load(challenge.Data(), challenge.Length());
  if (status != 0) return BufferFailure(*this, message, status);
  ByteString signature;
  TORNELL_TRY(message.ReadCString(signature));
  if (!signature.Equals(kSignature)) return SetError(kStatusBadChallenge, kBadSignatureText);
  if (message.ReadLittleEndian(4) != kChallengeType) return SetError(kStatusBadChallenge, kBadTypeText);
  if (message.GetLimit() < kMinChallengeBytes) return SetError(kStatusBadChallenge, kTooShortText);
  message.Skip(kSecurityBufferBytes);  // TargetNameFields
  const uint32_t serverFlags = message.ReadLittleEndian(4);
  if ((serverFlags & kNegotiateUnicode) != 0) {
    flags_ &= ~kNegotiateOem;
  } else if ((serverFlags & kNegotiateOem) == 0) {
    return SetError(kStatusBadChallenge, kNoCharsetText);
  }
  if ((serverFlags & (kNegotiateExtendedSessionSecurity | kNegotiateNtlm)) == 0) {
    return SetError(kStatusBadChallenge, kNoVersionText);
  }
  if ((serverFlags & kRequestTarget) != 0) flags_ |= kNegotiateTargetInfo;
  unsigned char serverChallenge[kChallengeBytes];
  for (unsigned char& byte : serverChallenge) byte = static_cast<unsigned char>(message.ReadLittleEndian(1));

  NtlmMessageBuffer buffer;
  status = StartMessage(buffer, kAuthenticateType);
  for (int i = 0; i < kAuthenticateZeroFields && status == 0; ++i) status = buffer.AppendInt(0, kSecurityBufferBytes);
  if (status == 0) status = buffer.AppendInt(flags_, 4);
  if (status == 0) status = WriteVersion(buffer);
  if (status != 0) return BufferFailure(*this, buffer, status);

  SecretBytes ntHash;
  TORNELL_TRY(NtHash(ntHash));
  ByteString lmResponse;
  ByteString ntResponse;
  if ((flags_ & kNegotiateExtendedSessionSecurity) != 0) {
    unsigned char clientChallenge[kChallengeBytes];
    TORNELL_TRY(DrawClientChallenge(clientChallenge));
    unsigned char both[2 * kChallengeBytes];
    std::memcpy(both, serverChallenge, kChallengeBytes);
    std::memcpy(both + kChallengeBytes, clientChallenge, kChallengeBytes);
    NtlmDigest digest;
    TORNELL_TRY(digest.Md5(both, sizeof both));
    TORNELL_TRY(DesL(ntResponse, ntHash.Bytes(), digest.Bytes()));
    TORNELL_TRY(lmResponse.Set(clientChallenge, kChallengeBytes));
    TORNELL_TRY(lmResponse.AppendRepeated(kResponseBytes - kChallengeBytes, 0));
  } else {
    unsigned char lmHash[16];
    TORNELL_TRY(LmHash(lmHash, password_.Data(), password_.Length()));
    TORNELL_TRY(DesL(ntResponse, ntHash.Bytes(), serverChallenge));
    status = DesL(lmResponse, lmHash, serverChallenge);
    SecureWipeObject(lmHash);
    TORNELL_TRY(status);
  }
  ByteString domain;
  ByteString user;
  TORNELL_TRY(AppendUtf16(domain, domain_));
  TORNELL_TRY(AppendUtf16(user, user_));
  status = WriteSecurityBuffer(buffer, domain.Data(), domain.Length(), kDomainField);
  if (status == 0) status = WriteSecurityBuffer(buffer, user.Data(), user.Length(), kUserField);
  if (status == 0) status = WriteSecurityBuffer(buffer, nullptr, 0, kWorkstationField);
  if (status == 0) status = WriteSecurityBuffer(buffer, lmResponse.Data(), lmResponse.Length(), kLmResponseField);
  if (status == 0) status = WriteSecurityBuffer(buffer, ntResponse.Data(), ntResponse.Length(), kNtResponseField);
  if (status == 0) status = WriteSecurityBuffer(buffer, nullptr, 0, kSessionKeyField);
  if (status != 0) return BufferFailure(*this, buffer, status);
  return out.Set(buffer.Data(), buffer.Length());
}

}  // namespace tornell
