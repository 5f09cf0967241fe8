// The RSA signature and encryption schemes: PKCS#1 v1.5 signatures with a
// DigestInfo prefix, PSS, v1.5 encryption (block type 2) and OAEP.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/text/SecretBytes.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/rsa/RsaEngine.h"
#include "crypto/rsa/RsaKeyState.h"
#include "crypto/rsa/RsaStatus.h"

namespace tornell {

namespace {

using namespace rsa_status;

struct DigestInfo {
  const char* name;
  const char* prefix;
  int length;
};

const DigestInfo kDigestInfos[] = {
    {"SHA1", "\x30\x21\x30\x09\x06\x05\x2b\x0e\x03\x02\x1a\x05\x00\x04\x14", 15},
    {"MD5", "\x30\x20\x30\x0c\x06\x08\x2a\x86\x48\x86\xf7\x0d\x02\x05\x05\x00\x04\x10", 18},
    {"MD2", "\x30\x20\x30\x0c\x06\x08\x2a\x86\x48\x86\xf7\x0d\x02\x02\x05\x00\x04\x10", 18},
    {"SHA256", "\x30\x31\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x01\x05\x00\x04\x20", 19},
    {"SHA384", "\x30\x41\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x02\x05\x00\x04\x30", 19},
    {"SHA512", "\x30\x51\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x03\x05\x00\x04\x40", 19},
    {"SHA224", "\x30\x2d\x30\x0d\x06\x09\x60\x86\x48\x01\x65\x03\x04\x02\x04\x05\x00\x04\x1c", 19},
    {"MD5SHA1", "\x24", 1},
    {"RIPEMD160", "\x30\x21\x30\x09\x06\x05\x2b\x24\x03\x02\x01\x05\x00\x04\x14", 15},
    {"RIPEMD-160", "\x30\x21\x30\x09\x06\x05\x2b\x24\x03\x02\x01\x05\x00\x04\x14", 15},
};

// Length the prefix occupies in the block: the one-byte MD5SHA1 entry is a
// length marker, not a prefix.
int PrefixBytes(const ByteString& prefix) { return prefix.Length() > 1 ? prefix.Length() : 0; }

int AnnouncedLength(const ByteString& prefix) {
  return prefix.Length() > 0 ? static_cast<signed char>(prefix.Data()[prefix.Length() - 1]) : -1;
}


// Whether hash, salt and the two fixed bytes fit in emLen. Salt lengths come
// from signature parameters (attacker data), so the sum is taken in 64 bits.
bool PssFits(int hashLength, int saltLength, int emLen) {
  return saltLength >= 0 && int64_t(hashLength) + int64_t(saltLength) + 2 <= int64_t(emLen);
}

// H = Hash(8 zero bytes || mHash || salt) for PSS.
int PssHash(const char* digestName, const char* hash, int hashLength, const char* salt, int saltLength,
            ByteString& out) {
  HashContext h;
  int rc = h.SetAlgorithm(digestName);
  if (rc != 0) return rc;
  static const char kZeros[8] = {};
  if ((rc = h.Update(kZeros, 8)) != 0 || (rc = h.Update(hash, hashLength)) != 0) return rc;
  if (saltLength > 0 && (rc = h.Update(salt, saltLength)) != 0) return rc;
  if ((rc = h.Final()) != 0) return rc;
  return out.Set(h.GetDigest(), h.GetDigestLength());
}

void XorInto(char* dst, const ByteString& mask) {
  for (int i = 0; i < mask.Length(); ++i) dst[i] = char(dst[i] ^ mask.Data()[i]);
}

}  // namespace

int RsaEngine::GetDigestInfoPrefix(const char* digestName, ByteString& out) {
  ByteString name(digestName);
  name.ToUpper();
  if (name.Length() == 0) return out.Append(kDigestInfos[0].prefix, kDigestInfos[0].length);
  for (const auto& info : kDigestInfos)
    if (name.Equals(info.name)) return out.Append(info.prefix, info.length);
  return kUnknownDigest;
}

int RsaEngine::LeftPad(ByteString& value, int width) {
  const int pad = width - value.Length();
  if (pad <= 0) return kStatusOk;
  ByteString padded;
  int rc = 0;
  if ((rc = padded.AppendRepeated(pad, 0)) != 0 || (rc = padded.Append(value)) != 0) return rc;
  return value.Assign(padded);
}

int RsaEngine::Mgf1(const char* seed, int seedLength, const char* hashName, int maskLength, ByteString& out) {
  if (seed == nullptr || maskLength < 0) return kNoData;
  HashContext h;
  int rc = h.SetAlgorithm(hashName);
  if (rc != 0) return rc;
  std::vector<char> input(size_t(seedLength > 0 ? seedLength : 0) + 4);
  if (seedLength > 0) std::memcpy(input.data(), seed, size_t(seedLength));
  ByteString block;
  for (uint32_t counter = 0; maskLength > 0; ++counter) {
    char* c = input.data() + input.size() - 4;
    c[0] = char(counter >> 24), c[1] = char(counter >> 16), c[2] = char(counter >> 8), c[3] = char(counter);
    if ((rc = h.Digest(input.data(), int(input.size()), block)) != 0) return rc;
    if (block.Length() == 0) return kUnknownDigest;
    const int take = block.Length() < maskLength ? block.Length() : maskLength;
    if ((rc = out.Append(block.Data(), take)) != 0) return rc;
    maskLength -= take;
  }
  return kStatusOk;
}

int RsaEngine::SignHash(const char* hash, int hashLength, const char* digestName, ByteString& out, int usePss,
                        int saltLength) {
  if (usePss) return SignPss(hash, hashLength, digestName, saltLength, out);
  ByteString prefix;
  int rc = GetDigestInfoPrefix(digestName, prefix);
  if (rc != 0) return rc;
  return SignPkcs1(hash, hashLength, prefix, out);
}

int RsaEngine::VerifyHash(const char* hash, int hashLength, const char* digestName, const char* signature,
                          int signatureLength, int& valid, int usePss, int saltLength, int checkPrefix) {
  valid = 0;
  if (usePss) return VerifyPss(hash, hashLength, digestName, saltLength, signature, signatureLength, valid);
  ByteString prefix;
  int rc = GetDigestInfoPrefix(digestName, prefix);
  if (rc != 0) return rc;
  return VerifyPkcs1(hash, hashLength, prefix, signature, signatureLength, checkPrefix, valid);
}

int RsaEngine::SignPkcs1(const char* hash, int hashLength, const ByteString& prefix, ByteString& out) {
  if (hash == nullptr || hashLength < 1) return kNoHash;
  if (AnnouncedLength(prefix) != hashLength) return kHashLengthMismatch;
  if (key.n.Length() == 0) return kNoPublicKey;
  const int k = ModulusBytes();
  if (prefix.Length() + hashLength + 11 > k) return kModulusTooShort;
  const int tLen = PrefixBytes(prefix) + hashLength;
  ByteString em;
  int rc = 0;
  if ((rc = em.AppendByte(0)) != 0 || (rc = em.AppendByte(1)) != 0 || (rc = em.AppendRepeated(k - tLen - 3, 0xFF)) != 0 ||
      (rc = em.AppendByte(0)) != 0 || (rc = em.Append(prefix.Data(), PrefixBytes(prefix))) != 0 ||
      (rc = em.Append(hash, hashLength)) != 0)
    return rc;
  ByteString s;
  TORNELL_TRY(PrivateFixed(em.Data(), em.Length(), s));
  if (s.Length() != k) return kNoPrivateKey;
  return out.Append(s);
}

int RsaEngine::VerifyPkcs1(const char* hash, int hashLength, const ByteString& prefix, const char* signature,
                           int signatureLength, int checkPrefix, int& valid) {
  valid = 0;
  if (hash == nullptr || hashLength < 1) return kNoHash;
  if (signature == nullptr || signatureLength < 1) return kNoSignature;
  if (AnnouncedLength(prefix) != hashLength) return kHashLengthMismatch;
  if (key.n.Length() == 0) return kNoPublicKey;
  const int k = ModulusBytes();
  if (prefix.Length() + hashLength + 11 > k) return kModulusTooShort;
  // A signature is an integer of exactly k bytes below n (RFC 8017 8.2.2).
  if (signatureLength != k || !BelowModulus(signature, signatureLength)) return kStatusOk;
  ByteString em;
  int rc = PublicOperation(signature, signatureLength, em);
  if (rc != 0) return rc;
  const int tLen = PrefixBytes(prefix) + hashLength;
  const auto* b = em.Bytes();
  bool ok = em.Length() == k && b[0] == 0 && b[1] == 1 && b[k - tLen - 1] == 0;
  for (int i = 2; ok && i < k - tLen - 1; ++i) ok = b[i] == 0xFF;
  if (ok && checkPrefix) ok = std::memcmp(b + k - tLen, prefix.Data(), size_t(PrefixBytes(prefix))) == 0;
  if (ok) ok = std::memcmp(b + k - hashLength, hash, size_t(hashLength)) == 0;
  valid = ok ? 1 : 0;
  return kStatusOk;
}

int RsaEngine::SignPss(const char* hash, int hashLength, const char* digestName, int saltLength, ByteString& out) {
  if (hash == nullptr || hashLength < 1) return kNoHash;
  if (key.n.Length() == 0) return kNoPublicKey;
  const int modBits = ModulusBits(), k = ModulusBytes(), emLen = (modBits - 1 + 7) / 8;
  if (saltLength < 0) saltLength = hashLength;
  if (!PssFits(hashLength, saltLength, emLen)) return kModulusTooShort;
  ByteString salt, h, mask;
  int rc = salt.SetLength(saltLength);
  if (rc != 0) return rc;
  FillRandom(salt.Data(), 0, saltLength);
  if ((rc = PssHash(digestName, hash, hashLength, salt.Data(), saltLength, h)) != 0) return rc;
  if (h.Length() != hashLength) return kHashLengthMismatch;
  const int dbLen = emLen - hashLength - 1;
  ByteString em;
  if ((rc = em.AppendRepeated(dbLen - saltLength - 1, 0)) != 0 || (rc = em.AppendByte(1)) != 0 ||
      (rc = em.Append(salt)) != 0)
    return rc;
  if ((rc = Mgf1(h.Data(), h.Length(), digestName, dbLen, mask)) != 0) return rc;
  XorInto(em.Data(), mask);
  em.Bytes()[0] &= uint8_t(0xFF >> (8 * emLen - (modBits - 1)));
  if ((rc = em.Append(h)) != 0 || (rc = em.AppendByte(0xBC)) != 0) return rc;
  ByteString s;
  TORNELL_TRY(PrivateFixed(em.Data(), em.Length(), s));
  if (s.Length() != k) return kNoPrivateKey;
  return out.Append(s);
}

int RsaEngine::VerifyPss(const char* hash, int hashLength, const char* digestName, int saltLength,
                         const char* signature, int signatureLength, int& valid) {
  valid = 0;
  if (hash == nullptr || hashLength < 1) return kNoHash;
  if (signature == nullptr || signatureLength < 1) return kNoSignature;
  if (key.n.Length() == 0) return kNoPublicKey;
  const int modBits = ModulusBits(), k = ModulusBytes(), emLen = (modBits - 1 + 7) / 8;
  if (signatureLength != k || !BelowModulus(signature, signatureLength)) return kPssInconsistent;
  ByteString block;
  int rc = PublicOperation(signature, signatureLength, block);
  if (rc != 0) return rc;
  if (emLen < k) {
    if (block.Bytes()[0] != 0) return kPssInconsistent;
    block.EraseFront(1);
  }
  if (saltLength < 0) saltLength = hashLength;
  if (!PssFits(hashLength, saltLength, emLen)) return kPssInconsistent;
  const auto* em = block.Bytes();
  const uint8_t topMask = uint8_t(0xFF >> (8 * emLen - (modBits - 1)));
  if (em[emLen - 1] != 0xBC || (em[0] & ~topMask) != 0) return kPssInconsistent;
  const int dbLen = emLen - hashLength - 1;
  ByteString db, mask;
  if ((rc = db.Set(em, dbLen)) != 0) return rc;
  if ((rc = Mgf1(block.Data() + dbLen, hashLength, digestName, dbLen, mask)) != 0) return rc;
  XorInto(db.Data(), mask);
  db.Bytes()[0] &= topMask;
  // The salt length is fixed by the caller, so the 0x01 must sit exactly
  // before it, with zeros only in front.
  const int one = dbLen - saltLength - 1;
  for (int i = 0; i < one; ++i)
    if (db.Bytes()[i] != 0) return kPssInconsistent;
  if (db.Bytes()[one] != 1) return kPssInconsistent;
  ByteString h;
  if ((rc = PssHash(digestName, hash, hashLength, db.Data() + dbLen - saltLength, saltLength, h)) != 0) return rc;
  if (!h.Equals(block.Data() + dbLen, hashLength) || h.Length() != hashLength) return kPssInconsistent;
  valid = 1;
  return kStatusOk;
}

int RsaEngine::DecryptPkcs1(const char* data, int length, ByteString& out) { return DecryptType2(data, length, out); }
int RsaEngine::EncryptPkcs1(const char* data, int length, ByteString& out) { return EncryptType2(data, length, out); }

int RsaEngine::EncryptWithPadding(const char* data, int length, ByteString& out, int useOaep, const char* label,
                                  int labelLength, const char* hashName, const char* mgfHashName) {
  if (useOaep) return EncryptOaep(data, length, out, label, labelLength, hashName, mgfHashName);
  return EncryptType2(data, length, out);
}

int RsaEngine::DecryptWithPadding(const char* data, int length, ByteString& out, int useOaep, const char* label,
                                  int labelLength, const char* hashName, const char* mgfHashName) {
  if (useOaep) return DecryptOaep(data, length, out, label, labelLength, hashName, mgfHashName);
  return DecryptType2(data, length, out);
}

int RsaEngine::EncryptType2(const char* data, int length, ByteString& out) {
  if (data == nullptr || length < 1) return kNoData;
  if (key.n.Length() == 0) return kNoPublicKey;
  const int k = ModulusBytes();
  if (length > k - 11) return kMessageTooLong;
  ByteString em;
  int rc = em.SetLength(k);
  if (rc != 0) return rc;
  char* b = em.Data();
  b[0] = 0, b[1] = 2;
  const int psLen = k - length - 3;
  FillRandom(b, 2, psLen);
  for (int i = 2; i < 2 + psLen; ++i)
    if (b[i] == 0) b[i] = 1;
  b[2 + psLen] = 0;
  std::memcpy(b + 3 + psLen, data, size_t(length));
  return PublicOperation(em.Data(), k, out);
}

namespace {

// The decrypted block as exactly k bytes, or false when the ciphertext is
// not an integer of at most k bytes below n.
bool DecryptBlock(RsaKeyState& st, RandomSource& random, const char* data, int length, int k, ByteString& em,
                  int& rc) {
  rc = 0;
  BigInteger c(reinterpret_cast<const uint8_t*>(data), length, 1);
  if (length > k || c.CompareTo(st.n) >= 0) return false;
  if ((rc = em.SetLength(k)) != 0) return false;
  return (rc = RsaPrivateFixed(st, random, c, em.Bytes(), size_t(k))) == 0;
}

}  // namespace

int RsaEngine::DecryptType2(const char* data, int length, ByteString& out) {
  if (data == nullptr || length < 1) return kNoData;
  if (key.n.Length() == 0) return kNoPublicKey;
  const int k = ModulusBytes();
  if (k <= 10) return kModulusTooShort;
  SecretBytes em;
  int rc = 0;
  if (!DecryptBlock(PrepareState(), random, data, length, k, em, rc)) return rc != 0 ? rc : kDecryptionFailed;
  // 00 02, at least eight non-zero bytes, a zero separator: every byte of the
  // block is looked at the same way whatever it holds, and every failure is
  // the one status, so no cause can be told apart.
  const auto* b = em.Bytes();
  uint32_t good = ct::Equal<uint32_t>(b[0], 0) & ct::Equal<uint32_t>(b[1], 2);
  uint32_t found = 0, separator = 0;
  for (int i = 2; i < k; ++i) {
    uint32_t zero = ct::Equal<uint32_t>(b[i], 0);
    separator = ct::Select<uint32_t>(~found & zero, uint32_t(i), separator);
    found |= zero;
  }
  good &= found & ~ct::LessThan<uint32_t>(separator, 10);
  if (!good) return kDecryptionFailed;
  return out.Append(em.Data() + separator + 1, k - int(separator) - 1);
}

namespace {

struct OaepHashes {
  ByteString lHash;
  const char* mgfName;
  int hLen;
};

// Label hash with the chosen digest (SHA-1 without a name) and the MGF1
// digest name (SHA-1 without one).
int OaepSetUp(const char* label, int labelLength, const char* hashName, const char* mgfHashName, OaepHashes& out) {
  HashContext h;
  int rc = h.SetAlgorithm(hashName != nullptr ? hashName : "SHA1");
  if (rc != 0) return rc;
  if ((rc = h.Digest(labelLength > 0 ? label : "", labelLength > 0 && label != nullptr ? labelLength : 0,
                     out.lHash)) != 0)
    return rc;
  out.hLen = out.lHash.Length();
  if (out.hLen < 1) return kUnknownDigest;
  out.mgfName = mgfHashName != nullptr && mgfHashName[0] != 0 ? mgfHashName : "SHA1";
  return kStatusOk;
}

// The checks both OAEP directions start with, in their order.
int OaepBegin(const char* data, int length, bool hasModulus, const char* label, int labelLength, const char* hashName,
              const char* mgfHashName, OaepHashes& out) {
  int rc = OaepSetUp(label, labelLength, hashName, mgfHashName, out);
  if (rc != 0) return rc;
  if (data == nullptr || length < 1) return kNoData;
  return hasModulus ? 0 : kNoPublicKey;
}

}  // namespace

int RsaEngine::EncryptOaep(const char* data, int length, ByteString& out, const char* label, int labelLength,
                           const char* hashName, const char* mgfHashName) {
  OaepHashes hs;
  int rc = OaepBegin(data, length, key.n.Length() > 0, label, labelLength, hashName, mgfHashName, hs);
  if (rc != 0) return rc;
  const int k = ModulusBytes(), hLen = hs.hLen;
  if (length > k - 2 * hLen - 2) return kMessageTooLong;
  ByteString db, seed, dbMask, seedMask, em;
  if ((rc = db.Append(hs.lHash)) != 0 || (rc = db.AppendRepeated(k - length - 2 * hLen - 2, 0)) != 0 ||
      (rc = db.AppendByte(1)) != 0 || (rc = db.Append(data, length)) != 0 || (rc = seed.SetLength(hLen)) != 0)
    return rc;
  FillRandom(seed.Data(), 0, hLen);
  if ((rc = Mgf1(seed.Data(), hLen, hs.mgfName, k - hLen - 1, dbMask)) != 0) return rc;
  XorInto(db.Data(), dbMask);
  if ((rc = Mgf1(db.Data(), db.Length(), hs.mgfName, hLen, seedMask)) != 0) return rc;
  XorInto(seed.Data(), seedMask);
  if ((rc = em.AppendByte(0)) != 0 || (rc = em.Append(seed)) != 0 || (rc = em.Append(db)) != 0) return rc;
  return PublicOperation(em.Data(), em.Length(), out);
}

int RsaEngine::DecryptOaep(const char* data, int length, ByteString& out, const char* label, int labelLength,
                           const char* hashName, const char* mgfHashName) {
  OaepHashes hs;
  int rc = OaepBegin(data, length, key.n.Length() > 0, label, labelLength, hashName, mgfHashName, hs);
  if (rc != 0) return rc;
  const int k = ModulusBytes(), hLen = hs.hLen;
  if (k < 2 * hLen + 2) return kModulusTooShort;
  SecretBytes em, seedMask, dbMask;
  if (!DecryptBlock(PrepareState(), random, data, length, k, em, rc)) return rc != 0 ? rc : kDecryptionFailed;
  char* seed = em.Data() + 1;
  char* db = em.Data() + 1 + hLen;
  const int dbLen = k - hLen - 1;
  if ((rc = Mgf1(db, dbLen, hs.mgfName, hLen, seedMask)) != 0) return rc;
  XorInto(seed, seedMask);
  if ((rc = Mgf1(seed, hLen, hs.mgfName, dbLen, dbMask)) != 0) return rc;
  XorInto(db, dbMask);
  const auto* b = reinterpret_cast<const uint8_t*>(db);
  uint32_t bad = em.Bytes()[0];
  for (int i = 0; i < hLen; ++i) bad |= uint32_t(b[i] ^ hs.lHash.Bytes()[i]);
  // The first non-zero byte after lHash must be 0x01; found without a branch
  // on the bytes.
  uint32_t found = 0, one = 0;
  for (int i = hLen; i < dbLen; ++i) {
    uint32_t nonZero = ~ct::IsZero<uint32_t>(b[i]);
    one = ct::Select<uint32_t>(~found & nonZero, uint32_t(i), one);
    bad |= ~found & nonZero & (b[i] ^ 1u);
    found |= nonZero;
  }
  bad |= ~found;
  if (bad != 0) return kDecryptionFailed;
  return out.Append(db + one + 1, dbLen - int(one) - 1);
}

}  // namespace tornell
