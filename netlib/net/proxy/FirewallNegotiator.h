#pragma once
// Proxy settings of a connection and the tunnel through the proxy: it stands
// between the owner's socket events and the owner's hooks, consumes the
// proxy's replies while the tunnel is being set up and passes everything
// through otherwise.
#include <netinet/in.h>

#include <cstdint>

#include "core/text/ByteString.h"
#include "core/text/HeaderText.h"
#include "core/text/SecretBytes.h"
#include "net/auth/DigestAuthenticator.h"

namespace tornell {

class TcpConnection;

constexpr int kStatusProxyFailed = 118;

enum FirewallTypeCode : int {
  kFirewallNone = 0,
  kFirewallTunnel = 1,
  kFirewallSocks4 = 2,
  kFirewallSocks5 = 3,
  kFirewallTunnelNtlm = 4,
  kFirewallTunnelNegotiate = 5,
  kFirewallTunnelDigest = 6,
};

class FirewallNegotiator {
 public:
  static constexpr int kMaxCredentialLength = 255;
  static constexpr int kHttpProxyPort = 80;
  static constexpr int kSocksPort = 1080;
  // A tunnel reply whose header never ends is refused beyond this size.
  static constexpr int kMaxReplyLength = 16384;

  FirewallNegotiator() = default;
  FirewallNegotiator(const FirewallNegotiator&) = delete;
  FirewallNegotiator& operator=(const FirewallNegotiator&) = delete;

  void SetOwner(TcpConnection* owner) { owner_ = owner; }

  // ---- settings (they persist across connections) ----
  [[nodiscard]] int SetType(int type);
  int GetType() const { return type_; }
  [[nodiscard]] int SetHost(const char* text);
  const char* GetHost();
  uint32_t GetHostAddress() const { return host_; }
  [[nodiscard]] int ClearHost();
  [[nodiscard]] int SetPort(int port);
  int GetPort() const { return port_; }
  [[nodiscard]] int SetUser(const char* text);
  const char* GetUser() const { return user_.CStr(); }
  [[nodiscard]] int SetPassword(const char* text);
  const char* GetPassword() const { return password_.CStr(); }
  [[nodiscard]] int SetAutoDetect(int value);
  bool GetAutoDetect() const { return autoDetect_; }
  [[nodiscard]] int SetDigestUri(const char* text) { return digestUri_.Set(text); }
  [[nodiscard]] int SetUserAgent(const char* text) { return userAgent_.Set(text); }
  const char* GetUserAgent() const { return userAgent_.CStr(); }

  // ---- queries ----
  bool IsNegotiating() const { return negotiating_; }
  bool IsConnected() const;
  int GetNegotiationState() const { return negotiationState_; }
  // The scheme of the NTLM and Negotiate tunnels: "NTLM" or "Negotiate".
  const char* SchemeName() const;
  static bool IsProxyException(const char* list, const char* host, int port, const char* scheme);
  static bool AutoDetectBypass(const char* host, int port, const char* scheme);
  // '*' wildcards of one exception entry against a host, both lower case.
  static bool WildcardMatch(const char* pattern, const char* host);

  // ---- event entries, called by the owner ----
  [[nodiscard]] int Begin(int code);
  [[nodiscard]] int ProcessReply(const char* bytes, int length, int lineFlag);
  [[nodiscard]] int OnClosed(int code);
  [[nodiscard]] int OnWritable();
  [[nodiscard]] int ReportError(int code, const char* text);

 private:
  // The exchanges return the owner's hook results (1 when bytes after the
  // reply went to the owner's receive queue).
  [[nodiscard]] int Fail(const char* text);
  [[nodiscard]] int Send(const ByteString& bytes);
  [[nodiscard]] int SendTunnelRequest();
  [[nodiscard]] int SendSocks4Request();
  [[nodiscard]] int SendSocks5Greeting();
  [[nodiscard]] int SendSocks5Request();
  [[nodiscard]] int ResolveTarget(in_addr* address);
  [[nodiscard]] int HandTailToOwner(const char* bytes, int length, int lineFlag);
  [[nodiscard]] int TunnelReply(const char* bytes, int length, int lineFlag);
  [[nodiscard]] int Socks4Reply(const char* bytes, int length, int lineFlag);
  [[nodiscard]] int Socks5Reply(const char* bytes, int length, int lineFlag);
  [[nodiscard]] int Socks5ConnectReply(int lineFlag);
  // "CONNECT host:port HTTP/1.0", refused (through Fail) when the host or
  // the user agent would carry a line break; then the User-Agent line and
  // the blank line that end every CONNECT request.
  [[nodiscard]] int StartConnectRequest(ByteString& request);
  [[nodiscard]] int AppendTarget(ByteString& out);
  static bool IsSafeRequestText(const char* text, int length);
  [[nodiscard]] int FinishConnectRequest(ByteString& request);
  // The CONNECT tunnels with NTLM, Negotiate and Digest credentials.
  [[nodiscard]] int BeginAuthenticatedTunnel();
  [[nodiscard]] int AuthenticatedTunnelReply(const char* bytes, int length, int lineFlag);
  [[nodiscard]] int SendTokenRequest(const char* token);
  [[nodiscard]] int SendDigestRequest(const ByteString* authorization);
  [[nodiscard]] int SendLegRequest(int built, const ByteString& request);
  [[nodiscard]] int ReplyLine();
  // A Proxy-Authenticate value.
  [[nodiscard]] int TokenChallenge(const char* value);
  [[nodiscard]] int DigestChallenge(const char* value);
  [[nodiscard]] int NoteBodyHeader(const char* name, const char* value);
  [[nodiscard]] int EndOfChallengeHeaders();
  [[nodiscard]] int ChunkSizeLine(const char* line);
  bool BodyComplete(int length, int lineFlag);
  [[nodiscard]] int Respond();
  [[nodiscard]] int RespondWithToken();
  [[nodiscard]] int RespondWithDigest();
  [[nodiscard]] int LegStatusFailure(const char* prefix, const char* code, const char* reason);
  [[nodiscard]] int TunnelUp();
  [[nodiscard]] int SetLineTerminator();
  [[nodiscard]] int SetRawTerminator();
  [[nodiscard]] int SaveTerminator();
  [[nodiscard]] int RestoreTerminator();
  // A leg that ends early leaves the owner its own terminator.
  void GiveBackTerminator();

  TcpConnection* owner_ = nullptr;
  DigestAuthenticator digest_;
  int port_ = 0;
  uint8_t type_ = 0;
  uint8_t negotiationState_ = 0;
  bool negotiating_ = false;
  int64_t bodyLength_ = 0;
  int64_t bodyRead_ = 0;
  bool bodyChunked_ = false;
  // A Digest challenge this client can answer has been taken; later ones
  // are passed over.
  bool digestChallengeTaken_ = false;
  HeaderText headerLine_;
  ShortString savedTerminator_;
  bool savedLineMode_ = false;
  ShortString replyBuffer_;
  ShortString user_;
  SecretBytes password_;
  ShortString digestUri_;
  ShortString userAgent_;
  bool autoDetect_ = false;
  uint32_t host_ = 0;
  char hostText_[24] = {};
};

}  // namespace tornell
