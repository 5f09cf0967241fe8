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
constexpr int kSsl3Md5PadLength = 48;
constexpr int kSsl3PadLength = 40;

uint8_t* Writable(const char* data) { return reinterpret_cast<uint8_t*>(const_cast<char*>(data)); }

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
  if (IsAead() == 0) return kStatusOk;
  TORNELL_TRY(aeadNonce.Set(nonce.Data(), nonce.Length()));
  TORNELL_TRY(aeadData.Set(additionalData.Data(), additionalData.Length()));
  aeadTagLength = -1;
  if (expectedTag != nullptr) {
    // Only a full tag is ever checked; a shorter or longer one fails the record.
    aeadTagLength = expectedTag->Length();
    if (aeadTagLength == kAeadTagLength) std::memcpy(aeadTag, expectedTag->Data(), kAeadTagLength);
  }
  return kStatusOk;
}

// Keys the AES-GCM state once per installed key: every record then starts
// from a copy of it, so only the nonce and additional data change.
int CipherSuite::KeyAead() {
  if (aeadKeyed != 0) return kStatusOk;
  if (aead == nullptr) {
    aead.reset(new (std::nothrow) AeadStates());
    if (aead == nullptr) return kStatusNoMemory;
  }
  AesGcm& gcmKeyed = aead->gcmKeyed;
  if (IsGcm()) {
    const char* key = nullptr;
    int keyBytes = 0;
    TORNELL_TRY(cipher.GetKey(&key, &keyBytes));
    TORNELL_TRY(gcmKeyed.SetKey(reinterpret_cast<const uint8_t*>(key), keyBytes));
  }
  aeadKeyed = 1;
  return kStatusOk;
}

int CipherSuite::AeadEncrypt(const char* data, int length, ByteString& out) {
  TORNELL_TRY(KeyAead());
  AesGcm& gcmRecord = aead->gcmRecord;
  const AesGcm& gcmKeyed = aead->gcmKeyed;
  ChaCha20Poly1305& chachaRecord = aead->chachaRecord;
  if (aeadNonce.IsEmpty()) return SymmetricCipher::kBadIvSize;
  const int start = out.Length();
  TORNELL_TRY(out.Resize(start + length + kAeadTagLength));
  uint8_t* sealed = out.Bytes() + start;
  uint8_t* tag = sealed + length;
  int tagLength = kAeadTagLength;
  int status = kStatusOk;
  if (IsGcm()) {
    status = gcmRecord.CopyFrom(gcmKeyed);
    if (status == kStatusOk) status = gcmRecord.SetIV(aeadNonce.Bytes(), static_cast<uint64_t>(aeadNonce.Length()));
    if (status == kStatusOk) status = gcmRecord.AddAad(aeadData.Bytes(), static_cast<uint64_t>(aeadData.Length()));
    if (status == kStatusOk) status = gcmRecord.Update(Writable(data), static_cast<uint64_t>(length), sealed, true);
    if (status == kStatusOk) status = gcmRecord.Finish(tag, &tagLength, 1);
  } else {
    const char* key = nullptr;
    int keyBytes = 0;
    status = cipher.GetKey(&key, &keyBytes);
    if (status == kStatusOk) {
      status = chachaRecord.Init(reinterpret_cast<const uint8_t*>(key), keyBytes, aeadNonce.Bytes(),
                                 aeadNonce.Length(), 0, 1);
    }
    if (status == kStatusOk) status = chachaRecord.SetAad(aeadData.Bytes(), aeadData.Length());
    if (status == kStatusOk) status = chachaRecord.Process(Writable(data), static_cast<size_t>(length), sealed, true);
    if (status == kStatusOk) status = chachaRecord.Final(tag, &tagLength, true);
  }
  if (status != kStatusOk) {
    SecureWipe(sealed, static_cast<size_t>(length) + kAeadTagLength);
    (void)out.Resize(start);  // shrinking cannot fail
  }
  return status;
}

int CipherSuite::AeadDecrypt(const char* data, int length, ByteString& out) {
  TORNELL_TRY(KeyAead());
  AesGcm& gcmRecord = aead->gcmRecord;
  const AesGcm& gcmKeyed = aead->gcmKeyed;
  ChaCha20Poly1305& chachaRecord = aead->chachaRecord;
  if (aeadNonce.IsEmpty()) return SymmetricCipher::kBadIvSize;
  if (aeadTagLength < 0) return IsGcm() ? SymmetricCipher::kAuthFailed : SymmetricCipher::kNoTag;
  if (aeadTagLength != kAeadTagLength) return SymmetricCipher::kAuthFailed;
  const int start = out.Length();
  TORNELL_TRY(out.Resize(start + length));
  uint8_t* opened = out.Bytes() + start;
  int tagLength = kAeadTagLength;
  int status = kStatusOk;
  if (IsGcm()) {
    status = gcmRecord.CopyFrom(gcmKeyed);
    if (status == kStatusOk) status = gcmRecord.SetIV(aeadNonce.Bytes(), static_cast<uint64_t>(aeadNonce.Length()));
    if (status == kStatusOk) status = gcmRecord.AddAad(aeadData.Bytes(), static_cast<uint64_t>(aeadData.Length()));
    if (status == kStatusOk) status = gcmRecord.Update(opened, static_cast<uint64_t>(length), Writable(data), false);
    if (status == kStatusOk && gcmRecord.Finish(aeadTag, &tagLength, 0) != kStatusOk) {
      status = SymmetricCipher::kAuthFailed;
    }
  } else {
    const char* key = nullptr;
    int keyBytes = 0;
    status = cipher.GetKey(&key, &keyBytes);
    if (status == kStatusOk) {
      status = chachaRecord.Init(reinterpret_cast<const uint8_t*>(key), keyBytes, aeadNonce.Bytes(),
                                 aeadNonce.Length(), 0, 0);
    }
    if (status == kStatusOk) status = chachaRecord.SetAad(aeadData.Bytes(), aeadData.Length());
    if (status == kStatusOk) status = chachaRecord.Process(opened, static_cast<size_t>(length), Writable(data), false);
    if (status == kStatusOk && chachaRecord.Final(aeadTag, &tagLength, false) != kStatusOk) {
      status = SymmetricCipher::kAuthFailed;
    }
  }
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
  SecretBytes prk;
  TORNELL_TRY(hmac.Mac(inputKey.Data(), inputKey.Length(), prk));
  return out.Assign(prk);
}

int CipherSuite::HkdfExpand(int hash, const ByteString& key, const ByteString& info, int length, ByteString& out) {
  if (HashContext::DigestLengthOf(hash) <= 0) return kStatusKdfBadRequest;
  Hmac hmac;
  TORNELL_TRY(hmac.Init(hash, key.Data(), key.Length()));
  return HkdfExpandKeyed(hmac, hash, info, length, out);
}

int CipherSuite::HkdfExpandKeyed(Hmac& hmac, int hash, const ByteString& info, int length, ByteString& out) {
  const int digestLength = HashContext::DigestLengthOf(hash);
  // An unknown digest has no length to divide by; the counter is one byte.
  if (digestLength <= 0 || length < 0) return kStatusKdfBadRequest;
  const int blocks = (length + digestLength - 1) / digestLength;
  if (blocks > kMaxHkdfBlocks) return kStatusKdfBadRequest;
  SecretBytes result;
  SecretBytes block;
  SecretBytes message;
  for (int i = 1; i <= blocks; ++i) {
    TORNELL_TRY(message.Assign(block));
    TORNELL_TRY(message.Append(info));
    TORNELL_TRY(message.AppendByte(i));
    TORNELL_TRY(hmac.Mac(message.Data(), message.Length(), block));
    TORNELL_TRY(result.Append(block));
  }
  TORNELL_TRY(result.Resize(length));
  return out.Assign(result);
}

int CipherSuite::BuildHkdfLabel(const char* label, int length, const ByteString& context, const char* prefix,
                                ByteString& out) {
  if (label == nullptr) label = "";
  if (prefix == nullptr) prefix = "";
  const size_t labelLength = std::strlen(prefix) + std::strlen(label);
  if (length < 0 || length > 0xFFFF || labelLength > 255 || context.Length() > 255) return kStatusKdfBadRequest;
  TORNELL_TRY(out.AppendByte(length >> 8));
  TORNELL_TRY(out.AppendByte(length & 0xFF));
  TORNELL_TRY(out.AppendByte(static_cast<int>(labelLength)));
  TORNELL_TRY(out.Append(prefix));
  TORNELL_TRY(out.Append(label));
  TORNELL_TRY(out.AppendByte(context.Length()));
  return out.Append(context);
}

int CipherSuite::HkdfExpandLabel(int hash, const ByteString& secret, const char* label, const ByteString& context,
                                 int length, const char* prefix, ByteString& out) {
  ByteString info;
  TORNELL_TRY(BuildHkdfLabel(label, length, context, prefix, info));
  return HkdfExpand(hash, secret, info, length, out);
}

int CipherSuite::HkdfExpandLabel(Hmac& keyed, int hash, const char* label, const ByteString& context, int length,
                                 const char* prefix, ByteString& out) {
  ByteString info;
  TORNELL_TRY(BuildHkdfLabel(label, length, context, prefix, info));
  return HkdfExpandKeyed(keyed, hash, info, length, out);
}

int CipherSuite::DeriveSecret(int hash, const ByteString& secret, const char* label, const ByteString& context,
                              const char* prefix, ByteString& out) {
  const int digestLength = HashContext::DigestLengthOf(hash);
  if (digestLength <= 0) return kStatusKdfBadRequest;
  return HkdfExpandLabel(hash, secret, label, context, digestLength, prefix, out);
}

}  // namespace tornell
