#pragma once
// Client side of HTTP Digest access authentication (RFC 2617: MD5 and
// MD5-sess, qop "auth" and "auth-int"). Parses a challenge, holds the
// credentials and the request, and writes the value of an Authorization or
// Proxy-Authorization line. No I/O.

#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"

namespace tornell {

class DigestAuthenticator {
 public:
  // The challenge cannot be answered (qop or algorithm unknown, or a value
  // that would break the header line); the error text says why.
  static constexpr int kStatusUnusable = 1;

  DigestAuthenticator();
  ~DigestAuthenticator() = default;
  DigestAuthenticator(const DigestAuthenticator&) = delete;
  DigestAuthenticator& operator=(const DigestAuthenticator&) = delete;

  void Reset();
  void ClearChallenge();
  [[nodiscard]] int SetCredentials(const char* user, int userLength, const char* password,
                                   int passwordLength);
  [[nodiscard]] int SetRequest(const char* method, const char* uri, const char* body,
                               int bodyLength);
  // The parameters of a WWW-Authenticate or Proxy-Authenticate value after
  // "Digest". Starts the challenge afresh: nc 0 and a new client nonce.
  [[nodiscard]] int ParseChallenge(const char* text);
  // Leaves out as it was when there is no nonce or no user.
  [[nodiscard]] int BuildAuthorization(ByteString& out, bool withAlgorithm);
  [[nodiscard]] int ComputeResponse(ByteString& out);
  const char* GetErrorText() const { return errorText_.CStr(); }

  // Replaces the client nonce drawn by ParseChallenge (tests use it to
  // reproduce published examples).
  [[nodiscard]] int SetCnonce(const char* cnonce) { return cnonce_.Set(cnonce); }
  int GetNonceCount() const { return nc_; }
  // The challenge's algorithm is one this client answers (MD5, MD5-sess, or
  // none named).
  bool KnownAlgorithm() const;

  // Appends the MD5 of the bytes as 32 lower-case hex digits.
  [[nodiscard]] static int Md5Hex(const void* bytes, int length, ByteString& out);
  // The same for a ":" b hashed as one message.
  [[nodiscard]] static int Md5HexJoined(const void* a, int aLength, const void* b, int bLength,
                                        ByteString& out);

 private:
  [[nodiscard]] int StoreParameter(const char* name, int nameLength, const char* value,
                                   int valueLength);
  [[nodiscard]] int NormaliseQop();
  [[nodiscard]] int MakeCnonce();
  [[nodiscard]] int Fail(const char* text);

  ShortString realm_;
  ShortString qop_;
  ShortString algorithm_;
  ShortString nonce_;
  ShortString cnonce_;
  ShortString opaque_;
  int nc_ = 0;
  ShortString user_;
  SecretBytes password_;
  ByteString uri_;
  ShortString method_;
  ByteString body_;
  ByteString errorText_;
};

}  // namespace tornell
