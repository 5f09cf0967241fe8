#pragma once
// HMAC (RFC 2104) over any digest number. The object keeps the digest states
// keyed with the inner and outer pads, so each message costs a state copy in
// place of two pad compressions; the keyed states follow the key and id.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashContext.h"

namespace tornell {

// An iteration count, output length or other size a derivation cannot serve.
constexpr int kStatusKdfBadRequest = kStatusDigestBadInput;

class Hmac {
 public:
  // The largest block of any digest (the SHAKE128 rate).
  static constexpr int kMaxBlockBytes = 168;
  static constexpr int kMaxMacBytes = 64;

  Hmac();
  ~Hmac();
  Hmac(const Hmac&) = delete;
  Hmac& operator=(const Hmac&) = delete;

  // Selects the digest, stores a copy of the key and abandons any message in
  // progress. Always succeeds for the id; 0 or 200 for the key copy. An id
  // outside 0-17 is reported (2001) by the first Update or Final.
  [[nodiscard]] int Init(int id, const char* key, int keyLength);
  [[nodiscard]] int Init(int id) { return Init(id, nullptr, 0); }
  // A key set in the middle of a message takes effect with the next message.
  [[nodiscard]] int SetKey(const char* key, int length);

  [[nodiscard]] int Update(const char* data, int length);
  // Finishes the message (an empty one when nothing was fed); the next Update
  // starts a new message with the same id and key.
  [[nodiscard]] int Final();
  // Abandons any message in progress: the next Update starts a new one.
  void Restart() { padsPending_ = 1; }

  const char* GetMac() const { return mac_.Data(); }
  int GetMacLength() const { return mac_.Length(); }
  int GetMacBits() const { return HashContext::DigestLengthOf(id_) * 8; }
  int GetBlockSize() const { return BlockSizeOf(id_); }
  int GetAlgorithm() const { return id_; }
  // The digest's input block: 128 for the SHA-512 family, 16 for MD2, the
  // sponge rate for SHA-3 and SHAKE, 64 for the rest (and unknown ids).
  static int BlockSizeOf(int id);

  // One message with the stored id and key; `out` = the MAC.
  [[nodiscard]] int Mac(const char* data, int length, ByteString& out);

 private:
  // Rebuilds the keyed states when the key or id changed, then starts the
  // running digest from the inner one.
  [[nodiscard]] int StartMessage();
  [[nodiscard]] int BuildKeyedStates();

  int id_;
  SecretBytes key_;
  HashContext hash_;
  int padsPending_;
  int keyedValid_;
  HashContext inner_;  // digest state after the key block XOR 0x36
  HashContext outer_;  // digest state after the key block XOR 0x5C
  // The last MAC, apart from the running context whose result buffer the
  // state copies overwrite; HKDF and the TLS PRF draw keys from it.
  SecretBytes mac_;
};

}  // namespace tornell
