#pragma once
// The built-in NTLM engine behind the socket objects' token provider: holds
// the credentials and the negotiated flags between the two legs, builds the
// NEGOTIATE and AUTHENTICATE messages (NTLMv1 with the NTLM2 session
// response; no NTLMv2) and keeps a diagnostic log of every token.

#include <cstdint>

#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "net/auth/NtlmMessageBuffer.h"

namespace tornell {

class NtlmProvider {
 public:
  // A malformed or unusable CHALLENGE message.
  static constexpr int kStatusBadChallenge = -1;

  static constexpr uint32_t kNegotiateUnicode = 0x00000001;
  static constexpr uint32_t kNegotiateOem = 0x00000002;
  static constexpr uint32_t kRequestTarget = 0x00000004;
  static constexpr uint32_t kNegotiateNtlm = 0x00000200;
  static constexpr uint32_t kNegotiateOemDomainSupplied = 0x00001000;
  static constexpr uint32_t kNegotiateAlwaysSign = 0x00008000;
  static constexpr uint32_t kTargetTypeDomain = 0x00004000;
  static constexpr uint32_t kNegotiateExtendedSessionSecurity = 0x00080000;
  static constexpr uint32_t kNegotiateTargetInfo = 0x00800000;
  static constexpr uint32_t kNegotiateVersion = 0x02000000;
  static constexpr uint32_t kNegotiate128 = 0x20000000;
  static constexpr uint32_t kNegotiate56 = 0x80000000;
  static constexpr uint32_t kNegotiateFlags = 0xA2088207;

  static constexpr int kChallengeBytes = 8;
  static constexpr int kResponseBytes = 24;

  NtlmProvider() = default;
  virtual ~NtlmProvider() = default;
  NtlmProvider(const NtlmProvider&) = delete;
  NtlmProvider& operator=(const NtlmProvider&) = delete;

  // A user written "DOMAIN\user" is split at its first backslash.
  [[nodiscard]] int SetCredentials(const char* protocol, const char* user, const char* password);
  [[nodiscard]] int SetServerSide(int flag);
  // One leg: an empty input starts an exchange (NEGOTIATE), the server's
  // CHALLENGE continues it (AUTHENTICATE).
  [[nodiscard]] int GetToken(ByteString& out, const char* protocol, const char* server,
                             const ByteString& input);
  const char* GetErrorText() const { return errorText_.CStr(); }
  const char* GetDiagnosticText() const { return log_.CStr(); }
  [[nodiscard]] int SetError(int code, const char* text);
  uint32_t GetNegotiatedFlags() const { return flags_; }

  // The next AUTHENTICATE uses these 8 bytes as its client challenge instead
  // of random ones (once); tests reproduce published responses with it.
  void SetClientChallenge(const uint8_t challenge[kChallengeBytes]);

  // ---- messages ---------------------------------------------------------------------
  [[nodiscard]] int BuildNegotiate(ByteString& out);
  [[nodiscard]] int ProcessChallenge(ByteString& out, const ByteString& challenge);
  [[nodiscard]] static int WriteSecurityBuffer(NtlmMessageBuffer& buffer, const void* data,
                                               int length, int fieldOffset);
  [[nodiscard]] static int WriteSecurityBuffer(NtlmMessageBuffer& buffer, const void* data,
                                               int length, int fieldOffset, uint32_t& flags,
                                               uint32_t flag);
  [[nodiscard]] static int WriteVersion(NtlmMessageBuffer& buffer);
  // MD4 of the password in UTF-16LE (NTOWFv1).
  [[nodiscard]] int NtHash(ByteString& out) const;
  // LMOWFv1 of the password into 16 bytes.
  [[nodiscard]] static int LmHash(unsigned char out[16], const char* password, int length);
  // DESL: 24 bytes appended.
  [[nodiscard]] static int DesL(ByteString& out, const unsigned char key[16],
                                const unsigned char data[8]);
  // Seven key bytes in buf[0..6] become the 8-byte DES key with odd parity.
  static void MakeDesKey(unsigned char buf[8]);
  [[nodiscard]] static int DesEncryptBlock(ByteString& out, const unsigned char block[8],
                                           const unsigned char key[8]);

  // ---- diagnostics ------------------------------------------------------------------
  [[nodiscard]] static int DumpToken(const ByteString& token, ByteString& log);
  [[nodiscard]] static int DumpNegotiate(NtlmMessageBuffer& buffer, ByteString& log);
  [[nodiscard]] static int DumpChallenge(NtlmMessageBuffer& buffer, ByteString& log);
  [[nodiscard]] static int DumpAuthenticate(NtlmMessageBuffer& buffer, ByteString& log);
  [[nodiscard]] static int DumpVersion(NtlmMessageBuffer& buffer, ByteString& log);
  [[nodiscard]] static int DumpField(const char* label, const NtlmMessageBuffer& buffer,
                                     int offset, int length, int maxLength, bool unicode,
                                     ByteString& log, bool hex);
  [[nodiscard]] static int DumpGssToken(const ByteString& token, ByteString& log);
  [[nodiscard]] static int DumpKerberosMessage(const ByteString& message, ByteString& log,
                                               const char* indent);

 private:
  [[nodiscard]] int AppendParameters(const char* protocol, const char* server);
  [[nodiscard]] int DrawClientChallenge(unsigned char out[kChallengeBytes]);
  [[nodiscard]] static int AppendUtf16(ByteString& out, const ByteString& text);

  uint8_t serverSide_ = 0;
  uint32_t flags_ = 0;
  ByteString user_;
  ByteString domain_;
  SecretBytes password_;
  ByteString errorText_;
  ByteString log_;
  uint8_t fixedChallenge_[kChallengeBytes] = {};
  bool useFixedChallenge_ = false;
};

}  // namespace tornell
