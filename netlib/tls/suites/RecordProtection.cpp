// The working half of a cipher suite: record encryption and decryption, the
// record MAC, the AEAD nonce and additional data, the SSL 3.0 MAC pads and
// the HKDF functions of TLS 1.3.
#include <cstring>
#include <new>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "tls/suites/CipherSuite.h"

namespace tornell {
namespace {

constexpr int kMaxHkdfBlocks = 255;  // the block counter is one byte
// Two length bytes, then the label and the context, each up to 255 bytes
// behind its length byte.
constexpr int kMaxHkdfLabel = 2 + 1 + 255 + 1 + 255;
constexpr int kSsl3Md5PadLength = 48;
constexpr int kSsl3PadLength = 40;

uint8_t* Writable(const char* data) { return reinterpret_cast<uint8_t*>(const_cast<char*>(data)); }

// The HkdfLabel structure of RFC 8446 section 7.1 into `to`; its size, or -1
// when a field does not fit its length.
int HkdfLabelInto(const char* label, int length, const ByteString& context, const char* prefix, char* to) {
  if (label == nullptr) label = "";
  if (prefix == nullptr) prefix = "";
  const size_t prefixLength = std::strlen(prefix);
  const size_t labelLength = prefixLength + std::strlen(label);
  if (length < 0 || length > 0xFFFF || labelLength > 255 || context.Length() > 255) return -1;
  int at = 0;
  to[at++] = char(length >> 8);
  to[at++] = char(length & 0xFF);
  to[at++] = char(labelLength);
  std::memcpy(to + at, prefix, prefixLength);
  std::memcpy(to + at + prefixLength, label, labelLength - prefixLength);
  at += int(labelLength);
  to[at++] = char(context.Length());
  std::memcpy(to + at, context.Data(), size_t(context.Length()));
  return at + context.Length();
}

// HKDF-Expand (RFC 5869) under an HMAC keyed with the pseudorandom key,
// straight into `out`: T(i) = HMAC(T(i-1) | info | i), each block but the
// last whole, so T(i-1) is read back from the output.
int ExpandInfo(Hmac& hmac, int hash, const char* info, int infoLength, int length, ByteString& out) {
  const int digestLength = HashContext::DigestLengthOf(hash);
  // An unknown digest has no length to divide by; the counter is one byte.
  if (digestLength <= 0 || length < 0) return kStatusKdfBadRequest;
  const int blocks = (length + digestLength - 1) / digestLength;
  if (blocks > kMaxHkdfBlocks) return kStatusKdfBadRequest;
  TORNELL_TRY(out.Resize(length));
  char* to = out.Data();
  for (int i = 1; i <= blocks; ++i) {
    const char counter = char(i);
    const int at = (i - 1) * digestLength;
    // A block left half-fed by a failure must not prefix the next expansion.
    hmac.Restart();
    int status = i > 1 ? hmac.Update(to + at - digestLength, digestLength) : kStatusOk;
    if (status == kStatusOk) status = hmac.Update(info, infoLength);
    if (status == kStatusOk) status = hmac.Update(&counter, 1);
    if (status == kStatusOk) status = hmac.Final();
    if (status != kStatusOk) {
      SecureWipe(to, size_t(length));
      (void)out.Resize(0);  // shrinking cannot fail
      return status;
    }
    const int take = length - at < digestLength ? length - at : digestLength;
    std::memcpy(to + at, hmac.GetMac(), size_t(take));
  }
  return kStatusOk;
}

// The same when `out` may be the input the info was made from: the result
// then goes through a wiped buffer.
int ExpandInfoApart(Hmac& hmac, int hash, const char* info, int infoLength, int length, const ByteString& input,
                    ByteString& out) {
  if (&out != &input) return ExpandInfo(hmac, hash, info, infoLength, length, out);
  SecretBytes result;
  TORNELL_TRY(ExpandInfo(hmac, hash, info, infoLength, length, result));
  return out.Assign(result);
}

}  // namespace

// A CBC record is whole blocks. The cipher would keep a partial block back
// and put it in front of the next record, so such a record is refused.
int CipherSuite::CheckWholeBlocks(int length) const {
  const int block = GetBlockBits() / 8;
  if (IsRc4() != 0 || block <= 0) return kStatusOk;
  return length % block == 0 ? kStatusOk : SymmetricCipher::kPartialBlock;
}

int CipherSuite::Encrypt(const char* data, int length, ByteString& out) {
  if (length < 0) length = 0;
  if (IsAead() != 0) return AeadEncrypt(data, length, out);
  TORNELL_TRY(CheckWholeBlocks(length));
  if (encryptStarted == 0) {
    TORNELL_TRY(cipher.InitEncrypt());
    encryptStarted = 1;
  }
  // The cipher stays started: the next record continues the CBC chain or the
  // RC4 key stream.
  int n = length;
  return cipher.Update(data, 0, n, out);
}

int CipherSuite::Encrypt(const WireBuffer& data, ByteString& out) { return Encrypt(data.Data(), data.Length(), out); }

int CipherSuite::Encrypt(const ByteString& data, ByteString& out) { return Encrypt(data.Data(), data.Length(), out); }

int CipherSuite::Decrypt(const char* data, int length, ByteString& out) {
  if (length < 0) length = 0;
  if (IsAead() != 0) return AeadDecrypt(data, length, out);
  TORNELL_TRY(CheckWholeBlocks(length));
  if (decryptStarted == 0) {
    TORNELL_TRY(cipher.InitDecrypt());
    decryptStarted = 1;
  }
  int n = length;
  return cipher.Update(data, 0, n, out);
}

int CipherSuite::Decrypt(const ByteString& data, ByteString& out) { return Decrypt(data.Data(), data.Length(), out); }

int CipherSuite::ComputeMac(const ByteString& data, ByteString& out) {
  TORNELL_TRY(KeyMac());
  return mac->Mac(data.Data(), data.Length(), out);
}

int CipherSuite::PrepareAead(const WireBuffer& nonce, const WireBuffer& additionalData, const ByteString* expectedTag) {
  return PrepareAead(reinterpret_cast<const uint8_t*>(nonce.Data()), nonce.Length(),
                     reinterpret_cast<const uint8_t*>(additionalData.Data()), additionalData.Length(),
                     expectedTag != nullptr ? expectedTag->Data() : nullptr,
                     expectedTag != nullptr ? expectedTag->Length() : 0);
}

int CipherSuite::PrepareAead(const uint8_t* nonce, int nonceLength, const uint8_t* additionalData,
                             int additionalLength, const char* expectedTag, int tagLength) {
  if (IsAead() == 0) return kStatusOk;
  TORNELL_TRY(aeadNonce.Set(reinterpret_cast<const char*>(nonce), nonceLength));
  TORNELL_TRY(aeadData.Set(reinterpret_cast<const char*>(additionalData), additionalLength));
  aeadTagLength = -1;
  if (expectedTag != nullptr) {
    // Only a full tag is ever checked; a shorter or longer one fails the record.
    aeadTagLength = tagLength;
    if (aeadTagLength == kAeadTagLength) std::memcpy(aeadTag, expectedTag, kAeadTagLength);
  }
  return kStatusOk;
}

// Keys the AES-GCM state once per installed key: every record then restarts
// the message on it, so only the nonce and additional data change.
int CipherSuite::KeyAead() {
  if (aeadKeyed != 0) return kStatusOk;
  if (IsGcm()) {
    const char* key = nullptr;
    int keyBytes = 0;
    TORNELL_TRY(cipher.GetKey(&key, &keyBytes));
    TORNELL_TRY(gcm.SetKey(reinterpret_cast<const uint8_t*>(key), keyBytes));
  } else if (chacha == nullptr) {
    chacha.reset(new (std::nothrow) ChaCha20Poly1305());
    if (chacha == nullptr) return kStatusNoMemory;
  }
  aeadKeyed = 1;
  return kStatusOk;
}

// One AEAD record on the keyed state: sealing reads `from` and writes the
// ciphertext to `to` and the tag; opening reads the ciphertext from `from`,
// writes the plaintext to `to` and checks the tag (a mismatch is kAuthFailed).
int CipherSuite::AeadRecord(const char* from, int length, uint8_t* to, uint8_t* tag, bool seal) {
  uint8_t* in = Writable(from);
  uint8_t* plainSide = seal ? in : to;
  uint8_t* cipherSide = seal ? to : in;
  int tagLength = kAeadTagLength;
  int status = kStatusOk;
  int finished = kStatusOk;
  if (IsGcm()) {
    gcm.Restart();
    status = gcm.SetIV(aeadNonce.Bytes(), static_cast<uint64_t>(aeadNonce.Length()));
    if (status == kStatusOk) status = gcm.AddAad(aeadData.Bytes(), static_cast<uint64_t>(aeadData.Length()));
    if (status == kStatusOk) status = gcm.Update(plainSide, static_cast<uint64_t>(length), cipherSide, seal);
    if (status == kStatusOk) finished = gcm.Finish(tag, &tagLength, seal ? 1 : 0);
  } else {
    const char* key = nullptr;
    int keyBytes = 0;
    status = cipher.GetKey(&key, &keyBytes);
    if (status == kStatusOk) {
      status = chacha->Init(reinterpret_cast<const uint8_t*>(key), keyBytes, aeadNonce.Bytes(), aeadNonce.Length(),
                            0, seal ? 1 : 0);
    }
    if (status == kStatusOk) status = chacha->SetAad(aeadData.Bytes(), aeadData.Length());
    if (status == kStatusOk) status = chacha->Process(plainSide, static_cast<size_t>(length), cipherSide, seal);
    if (status == kStatusOk) finished = chacha->Final(tag, &tagLength, seal);
  }
  if (finished != kStatusOk) status = seal ? finished : SymmetricCipher::kAuthFailed;
  return status;
}

int CipherSuite::AeadEncrypt(const char* data, int length, ByteString& out) {
  TORNELL_TRY(KeyAead());
  if (aeadNonce.IsEmpty()) return SymmetricCipher::kBadIvSize;
  const int start = out.Length();
  TORNELL_TRY(out.Resize(start + length + kAeadTagLength));
  uint8_t* sealed = out.Bytes() + start;
  const int status = AeadRecord(data, length, sealed, sealed + length, true);
  if (status != kStatusOk) {
    SecureWipe(sealed, static_cast<size_t>(length) + kAeadTagLength);
    (void)out.Resize(start);  // shrinking cannot fail
  }
  return status;
}

int CipherSuite::AeadDecrypt(const char* data, int length, ByteString& out) {
  TORNELL_TRY(KeyAead());
  if (aeadNonce.IsEmpty()) return SymmetricCipher::kBadIvSize;
  if (aeadTagLength < 0) return IsGcm() ? SymmetricCipher::kAuthFailed : SymmetricCipher::kNoTag;
  if (aeadTagLength != kAeadTagLength) return SymmetricCipher::kAuthFailed;
  const int start = out.Length();
  TORNELL_TRY(out.Resize(start + length));
  uint8_t* opened = out.Bytes() + start;
  const int status = AeadRecord(data, length, opened, aeadTag, false);
  // A tag serves one record.
  aeadTagLength = -1;
  if (status != kStatusOk) {
    // No byte of a forged record is handed on.
    SecureWipe(opened, static_cast<size_t>(length));
    (void)out.Resize(start);
  }
  return status;
}

int CipherSuite::Ssl3Pad1(ByteString& out) const {
  TORNELL_TRY(out.Clear());
  return out.AppendRepeated(macHash == HashAlgorithm::kMd5 ? kSsl3Md5PadLength : kSsl3PadLength, 0x36);
}

int CipherSuite::Ssl3Pad2(ByteString& out) const {
  TORNELL_TRY(out.Clear());
  return out.AppendRepeated(macHash == HashAlgorithm::kMd5 ? kSsl3Md5PadLength : kSsl3PadLength, 0x5C);
}

// ---- HKDF -----------------------------------------------------------------

int CipherSuite::HkdfExtract(int hash, const ByteString& salt, const ByteString& inputKey, ByteString& out) {
  if (HashContext::DigestLengthOf(hash) <= 0) return kStatusKdfBadRequest;
  Hmac hmac;
  TORNELL_TRY(hmac.Init(hash, salt.Data(), salt.Length()));
  // The MAC is written only once the input key is read: `out` may be either input.
  return hmac.Mac(inputKey.Data(), inputKey.Length(), out);
}

int CipherSuite::HkdfExpand(int hash, const ByteString& key, const ByteString& info, int length, ByteString& out) {
  if (HashContext::DigestLengthOf(hash) <= 0) return kStatusKdfBadRequest;
  Hmac hmac;
  TORNELL_TRY(hmac.Init(hash, key.Data(), key.Length()));
  return HkdfExpandKeyed(hmac, hash, info, length, out);
}

int CipherSuite::HkdfExpandKeyed(Hmac& hmac, int hash, const ByteString& info, int length, ByteString& out) {
  return ExpandInfoApart(hmac, hash, info.Data(), info.Length(), length, info, out);
}

int CipherSuite::BuildHkdfLabel(const char* label, int length, const ByteString& context, const char* prefix,
                                ByteString& out) {
  char info[kMaxHkdfLabel];
  const int size = HkdfLabelInto(label, length, context, prefix, info);
  if (size < 0) return kStatusKdfBadRequest;
  return out.Append(info, size);
}

int CipherSuite::HkdfExpandLabel(int hash, const ByteString& secret, const char* label, const ByteString& context,
                                 int length, const char* prefix, ByteString& out) {
  if (HashContext::DigestLengthOf(hash) <= 0) return kStatusKdfBadRequest;
  Hmac hmac;
  TORNELL_TRY(hmac.Init(hash, secret.Data(), secret.Length()));
  return HkdfExpandLabel(hmac, hash, label, context, length, prefix, out);
}

int CipherSuite::HkdfExpandLabel(Hmac& keyed, int hash, const char* label, const ByteString& context, int length,
                                 const char* prefix, ByteString& out) {
  char info[kMaxHkdfLabel];
  const int size = HkdfLabelInto(label, length, context, prefix, info);
  if (size < 0) return kStatusKdfBadRequest;
  return ExpandInfoApart(keyed, hash, info, size, length, context, out);
}

int CipherSuite::DeriveSecret(int hash, const ByteString& secret, const char* label, const ByteString& context,
                              const char* prefix, ByteString& out) {
  const int digestLength = HashContext::DigestLengthOf(hash);
  if (digestLength <= 0) return kStatusKdfBadRequest;
  return HkdfExpandLabel(hash, secret, label, context, digestLength, prefix, out);
}

}  // namespace tornell
