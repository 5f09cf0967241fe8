#include "pki/keys/KeyFileFormats.h"

#include <cstdint>
#include <cstring>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/cipher/block/BlowfishCipher.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/digest/hash/Sha512Digest.h"
#include "crypto/digest/kdf/PasswordKeyDeriver.h"
#include "pki/der/DerWriter.h"

namespace tornell::pki {

namespace {

constexpr const char* kOidPbes2 = "1.2.840.113549.1.5.13";
constexpr const char* kOidPbkdf2 = "1.2.840.113549.1.5.12";
constexpr const char* kOidDesEde3Cbc = "1.2.840.113549.3.7";
constexpr const char* kOidHmacSha1 = "1.2.840.113549.2.7";
constexpr const char* kOidRsa = "1.2.840.113549.1.1.1";
constexpr const char* kOidDsa = "1.2.840.10040.4.1";
constexpr const char* kOidEc = "1.2.840.10045.2.1";
constexpr const char* kOidEd25519 = "1.3.101.112";
constexpr const char* kOidEd448 = "1.3.101.113";
constexpr int kTripleDesKeyLength = 24;
constexpr int kAlgorithmAes = 0;
constexpr int kAlgorithmTripleDes = 2;
constexpr int kTagInteger = 0x02;
constexpr int kTagOctetString = 0x04;
constexpr int kTagSequence = 0x30;

bool IsBlank(int c) { return c == ' ' || c == '\t'; }

// From pos, the end of the line: end of input, a LF, or a lone CR.
int LineEnd(const ByteString& text, int pos) {
  const int length = text.Length();
  while (pos < length) {
    const int c = text.ByteAt(pos);
    if (c == '\n') break;
    if (c == '\r' && (pos + 1 >= length || text.ByteAt(pos + 1) != '\n')) break;
    ++pos;
  }
  return pos;
}

// Step common to the PEM readers: cut the text down to the body between the
// label's BEGIN line and the "---" of its END line.
int CutToBody(TextArmor& text, const char* label, int requireLabel, bool& found) {
  const int at = text.Find(label);
  found = at >= 0;
  if (!found) {
    if (requireLabel != 0 || text.Find("-----BEGIN") >= 0) return kKeyFormatNotFound;
    return kStatusOk;
  }
  TORNELL_TRY(text.EraseFront(LineEnd(text, at)));
  const int end = text.Find("---");
  if (end < 0 || text.Find(label, end) < 0) return kKeyFormatNotFound;
  return text.SetLength(end);
}

int HexDigit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int AppendHexBytes(ByteString& out, const char* text, int length) {
  for (int i = 0; i + 1 < length; i += 2) {
    const int hi = HexDigit(static_cast<unsigned char>(text[i]));
    const int lo = HexDigit(static_cast<unsigned char>(text[i + 1]));
    if (hi < 0 || lo < 0) break;
    TORNELL_TRY(out.AppendByte(hi * 16 + lo));
  }
  return kStatusOk;
}

// Reads the RFC 1421 header block at the front of the body; returns where the
// block ends (0 when there are no headers) and the DEK-Info fields.
int ReadHeaders(const ByteString& text, int& blockEnd, ByteString& cipherName, ByteString& iv) {
  const int length = text.Length();
  int pos = 0;
  if (pos < length && text.ByteAt(pos) == '\n') {
    pos = 1;
  } else if (pos + 1 < length && text.ByteAt(pos) == '\r' && text.ByteAt(pos + 1) == '\n') {
    pos = 2;
  }
  blockEnd = 0;
  for (int colon = text.Find(':', pos); colon >= 0; colon = text.Find(':', pos)) {
    ByteString name, value;
    TORNELL_TRY(name.Set(text.Data() + pos, colon - pos));
    int p = colon + 1;
    while (p < length && IsBlank(text.ByteAt(p))) ++p;
    while (p < length && text.ByteAt(p) != '\r' && text.ByteAt(p) != '\n') {
      const int c = text.ByteAt(p);
      if (c == '\\' && p + 1 < length && (text.ByteAt(p + 1) == '\r' || text.ByteAt(p + 1) == '\n')) {
        p += (text.ByteAt(p + 1) == '\r' && p + 2 < length && text.ByteAt(p + 2) == '\n') ? 3 : 2;
        continue;
      }
      TORNELL_TRY(value.AppendByte(c));
      ++p;
    }
    while (p < length && text.ByteAt(p) != '\n') ++p;
    if (p < length) ++p;
    pos = p;
    blockEnd = p;
    TORNELL_TRY(name.Trim());
    TORNELL_TRY(value.Trim());
    if (std::strcmp(name.CStr(), "DEK-Info") == 0) {
      const int comma = value.Find(',');
      cipherName.Clear();
      iv.Clear();
      if (comma >= 0) {
        TORNELL_TRY(cipherName.Set(value.Data(), comma));
        TORNELL_TRY(AppendHexBytes(iv, value.Data() + comma + 1, value.Length() - comma - 1));
      } else {
        TORNELL_TRY(cipherName.Set(value.Data(), value.Length()));
      }
    }
  }
  return kStatusOk;
}

bool IsCbcName(const char* name) {
  return std::strcmp(name, "DES-EDE3-CBC") == 0 || std::strcmp(name, "3des-cbc") == 0 ||
         std::strcmp(name, "AES-128-CBC") == 0;
}

bool IsPemCipherName(const char* name) { return IsCbcName(name) || std::strcmp(name, "DES-EDE3-CFB") == 0; }

int ElementOf(const ByteString& der, int n, ByteString& out, int wantTag) {
  DerWriter reader;
  TORNELL_TRY(reader.output.Set(der.Data(), der.Length()));
  int tag = 0;
  TORNELL_TRY(reader.ReadElement(n, out, &tag));
  return tag == wantTag ? kStatusOk : kKeyFormatNotFound;
}

int OidOf(const ByteString& der, int n, ByteString& oid) {
  DerWriter reader;
  TORNELL_TRY(reader.output.Set(der.Data(), der.Length()));
  int tag = 0;
  TORNELL_TRY(reader.ReadOid(n, oid, &tag));
  return tag == 0x06 ? kStatusOk : kKeyFormatNotFound;
}

int TagOf(const ByteString& der, int n) {
  DerWriter reader;
  ByteString ignored;
  int tag = -1;
  if (reader.output.Set(der.Data(), der.Length()) != kStatusOk || reader.ReadElement(n, ignored, &tag) != kStatusOk)
    return -1;
  return tag;
}

int IntOf(const ByteString& der, int n, int& value) {
  DerWriter reader;
  TORNELL_TRY(reader.output.Set(der.Data(), der.Length()));
  int tag = 0;
  TORNELL_TRY(reader.ReadInt(n, value, &tag));
  return tag == kTagInteger ? kStatusOk : kKeyFormatNotFound;
}

// EncryptedPrivateKeyInfo with PBES2, PBKDF2 (HMAC-SHA1, 24-byte key) and
// DES-EDE3-CBC, decrypted in place into `body`.
int DecryptPkcs8(TextArmor& body, const SecretBytes& password) {
  ByteString info, algorithm, data, oid, params, kdf, kdfParams, scheme, salt, iv;
  TORNELL_TRY(ElementOf(body, 0, info, kTagSequence));
  TORNELL_TRY(ElementOf(info, 0, algorithm, kTagSequence));
  TORNELL_TRY(ElementOf(info, 1, data, kTagOctetString));
  TORNELL_TRY(OidOf(algorithm, 0, oid));
  if (!oid.Equals(kOidPbes2)) return kKeyFormatNotFound;
  TORNELL_TRY(ElementOf(algorithm, 1, params, kTagSequence));
  TORNELL_TRY(ElementOf(params, 0, kdf, kTagSequence));
  TORNELL_TRY(ElementOf(params, 1, scheme, kTagSequence));
  TORNELL_TRY(OidOf(kdf, 0, oid));
  if (!oid.Equals(kOidPbkdf2)) return kKeyFormatNotFound;
  TORNELL_TRY(ElementOf(kdf, 1, kdfParams, kTagSequence));
  TORNELL_TRY(ElementOf(kdfParams, 0, salt, kTagOctetString));
  int iterations = 0;
  TORNELL_TRY(IntOf(kdfParams, 1, iterations));
  // keyLength and prf are both optional; only the values 3DES with HMAC-SHA1 uses are taken.
  int next = 2;
  if (TagOf(kdfParams, next) == kTagInteger) {
    int keyLength = 0;
    TORNELL_TRY(IntOf(kdfParams, next, keyLength));
    if (keyLength != kTripleDesKeyLength) return kKeyFormatNotFound;
    ++next;
  }
  if (TagOf(kdfParams, next) == kTagSequence) {
    ByteString prf;
    TORNELL_TRY(ElementOf(kdfParams, next, prf, kTagSequence));
    TORNELL_TRY(OidOf(prf, 0, oid));
    if (!oid.Equals(kOidHmacSha1)) return kKeyFormatNotFound;
    ++next;
  }
  if (TagOf(kdfParams, next) != -1) return kKeyFormatNotFound;
  TORNELL_TRY(OidOf(scheme, 0, oid));
  if (!oid.Equals(kOidDesEde3Cbc)) return kKeyFormatNotFound;
  TORNELL_TRY(ElementOf(scheme, 1, iv, kTagOctetString));
  TORNELL_TRY(body.Set(data.Data(), data.Length()));
  TORNELL_TRY(KeyFileFormats::DecryptPemBody("DES-EDE3-CBC", body, password, salt.Bytes(), salt.Length(), 0,
                                             "HMAC-SHA1", iterations, &iv));
  return CheckBlockPadding(body.Bytes(), body.Length(), 8);
}

}  // namespace

int g_bcryptRoundsLimit = 0;

int CheckBlockPadding(const unsigned char* data, int length, int blockLength) {
  if (blockLength <= 0 || length < blockLength || length % blockLength != 0) return kKeyBadPadding;
  const uint32_t n = data[length - 1];
  uint32_t good = ct::IsNonZero(n) & ~ct::LessThan(static_cast<uint32_t>(blockLength), n);
  for (int i = 0; i < blockLength; ++i) {
    const uint32_t inPad = ct::LessThan(static_cast<uint32_t>(i), n);
    good &= ~inPad | ct::Equal(static_cast<uint32_t>(data[length - 1 - i]), n);
  }
  return ct::ValueBarrier(good) != 0 ? kStatusOk : kKeyBadPadding;
}

int KeyFileFormats::DecodePem(TextArmor& out, const char* label, const char* data, int length,
                              const SecretBytes& password, int requireLabel) {
  if (length < 0 || (data == nullptr && length > 0)) return kKeyFormatNotFound;
  if (HeaderText::HasEightBitBytes(data, length)) return out.Set(data, length);
  TORNELL_TRY(out.Set(data, length));
  bool found = false;
  TORNELL_TRY(CutToBody(out, label, requireLabel, found));
  int blockEnd = 0;
  ByteString cipherName, iv;
  TORNELL_TRY(ReadHeaders(out, blockEnd, cipherName, iv));
  if (blockEnd > 0) TORNELL_TRY(out.EraseFront(blockEnd));
  TORNELL_TRY(out.Base64Decode());
  if (cipherName.IsEmpty()) return kStatusOk;
  // Bytes still encrypted under a cipher this reader does not know are no key.
  if (!IsPemCipherName(cipherName.CStr())) return kKeyFormatNotFound;
  TORNELL_TRY(DecryptPemBody(cipherName.CStr(), out, password, iv.Bytes(), iv.Length(), 0, nullptr, 0, nullptr));
  if (!IsCbcName(cipherName.CStr())) return kStatusOk;
  const int block = std::strcmp(cipherName.CStr(), "AES-128-CBC") == 0 ? 16 : 8;
  return CheckBlockPadding(out.Bytes(), out.Length(), block);
}

int KeyFileFormats::ExtractArmorBody(TextArmor& out, const char* label, const char* data, int length) {
  if (length < 0 || (data == nullptr && length > 0)) return kKeyFormatNotFound;
  if (HeaderText::HasEightBitBytes(data, length)) return kKeyFormatNotFound;
  if (out.Set(data, length) != kStatusOk) return kKeyFormatNotFound;
  bool found = false;
  return CutToBody(out, label, 1, found) == kStatusOk ? kStatusOk : kKeyFormatNotFound;
}

int KeyFileFormats::DecryptPemBody(const char* cipherName, TextArmor& inout, const SecretBytes& password,
                                   const unsigned char* iv, int ivLength, int passwordFirst, const char* hashName,
                                   int iterations, const ByteString* explicitIv) {
  if (cipherName == nullptr) return kKeyUnknownName;
  int algorithm = kAlgorithmTripleDes, mode = CipherMode::CBC, keyLength = kTripleDesKeyLength;
  if (std::strcmp(cipherName, "DES-EDE3-CFB") == 0) {
    mode = CipherMode::CFB;
  } else if (std::strcmp(cipherName, "AES-128-CBC") == 0) {
    algorithm = kAlgorithmAes;
    keyLength = 16;
  } else if (std::strcmp(cipherName, "DES-EDE3-CBC") != 0 && std::strcmp(cipherName, "3des-cbc") != 0) {
    return kKeyUnknownName;
  }
  if (ivLength < 0 || (iv == nullptr && ivLength > 0)) return kKeyFormatNotFound;
  // PBKDF2 takes the whole salt; the bytes-to-key rule of traditional PEM only its first 8 bytes.
  ByteString lowerHash;
  TORNELL_TRY(lowerHash.Set(hashName != nullptr ? hashName : "MD5"));
  lowerHash.ToLower();
  const int saltLength = lowerHash.Find("hmac") >= 0 ? ivLength : (ivLength < 8 ? ivLength : 8);
  constexpr int kDerivedIvLength = 8;
  SecretBytes derived;
  PasswordKeyDeriver deriver;
  TORNELL_TRY(deriver.DeriveBytes(iterations, hashName != nullptr ? hashName : "MD5", password.CStr(),
                                  reinterpret_cast<const char*>(iv), saltLength, keyLength + kDerivedIvLength,
                                  passwordFirst, derived));
  static const char kZeroIv[8] = {};
  const char* useIv = reinterpret_cast<const char*>(iv);
  int useIvLength = ivLength;
  if (passwordFirst != 0) {
    useIv = kZeroIv;
    useIvLength = sizeof(kZeroIv);
  } else if (explicitIv != nullptr) {
    useIv = explicitIv->Data();
    useIvLength = explicitIv->Length();
  }
  SymmetricCipher cipher;
  TORNELL_TRY(cipher.SetAlgorithm(algorithm));
  TORNELL_TRY(cipher.SetMode(mode));
  TORNELL_TRY(cipher.InitDecrypt(derived.Data(), keyLength, useIv, useIvLength));
  SecretBytes plain;
  TORNELL_TRY(cipher.Final(inout.Data(), 0, inout.Length(), plain));
  return inout.Set(plain.Data(), plain.Length());
}

int KeyFileFormats::DecodePkcs8(TextArmor& out, const char* data, int length, const SecretBytes& password,
                                int& isDsa, int& isEc) {
  if (ExtractArmorBody(out, "ENCRYPTED PRIVATE KEY", data, length) == kStatusOk) {
    if (out.Base64Decode() != kStatusOk) return kKeyFormatNotFound;
    const int status = DecryptPkcs8(out, password);
    if (status == kKeyBadPadding) return status;
    if (status != kStatusOk) return kKeyFormatNotFound;
  } else if (ExtractArmorBody(out, "PRIVATE KEY", data, length) == kStatusOk) {
    if (out.Base64Decode() != kStatusOk) return kKeyFormatNotFound;
  } else {
    return kKeyFormatNotFound;
  }
  isDsa = 0;
  isEc = 0;
  ByteString info, algorithm, oid;
  SecretBytes key;
  if (ElementOf(out, 0, info, kTagSequence) != kStatusOk || ElementOf(info, 1, algorithm, kTagSequence) != kStatusOk ||
      OidOf(algorithm, 0, oid) != kStatusOk) {
    SecureWipe(info.Data(), static_cast<size_t>(info.Length()));
    return kKeyFormatNotFound;
  }
  const bool rsa = oid.Equals(kOidRsa);
  int status = kStatusOk;
  if (rsa) {
    status = ElementOf(info, 2, key, kTagOctetString);
    if (status == kStatusOk) status = out.Set(key.Data(), key.Length());
  } else if (oid.Equals(kOidDsa)) {
    isDsa = 1;
  } else if (oid.Equals(kOidEc) || oid.Equals(kOidEd25519) || oid.Equals(kOidEd448)) {
    isEc = 1;
  } else {
    status = kKeyFormatNotFound;
  }
  SecureWipe(info.Data(), static_cast<size_t>(info.Length()));
  return status == kStatusOk ? kStatusOk : kKeyFormatNotFound;
}

int KeyFileFormats::BcryptPbkdf(const SecretBytes& password, const char* kdfName, const unsigned char* salt,
                                int saltLength, int rounds, SecretBytes& key, SecretBytes& iv) {
  if (kdfName == nullptr) return kStatusOk;
  ByteString name;
  TORNELL_TRY(name.Set(kdfName));
  if (!name.EqualsIgnoreCase("bcrypt")) return kStatusOk;
  if (saltLength < 0 || (salt == nullptr && saltLength > 0)) return kKeyFormatNotFound;
  if (g_bcryptRoundsLimit > 0 && rounds > g_bcryptRoundsLimit) return kKeyFormatNotFound;
  constexpr int kOutLength = 48;
  constexpr int kStride = (kOutLength + 31) / 32;
  constexpr int kAmount = (kOutLength + kStride - 1) / kStride;
  unsigned char output[kOutLength] = {};
  unsigned char sha2pass[Sha512Digest::kDigestBytes];
  unsigned char sha2salt[Sha512Digest::kDigestBytes];
  unsigned char out[32];
  Sha512Digest sha;
  sha.Update(password.CStr(), static_cast<int>(std::strlen(password.CStr())));
  std::memcpy(sha2pass, sha.Final(), sizeof(sha2pass));
  BlowfishCipher blowfish;
  SecretBytes tmp;
  int status = kStatusOk;
  int remaining = kOutLength;
  for (uint32_t count = 1; status == kStatusOk && remaining > 0; ++count) {
    const unsigned char counter[4] = {static_cast<unsigned char>(count >> 24), static_cast<unsigned char>(count >> 16),
                                      static_cast<unsigned char>(count >> 8), static_cast<unsigned char>(count)};
    sha.Reset();
    sha.Update(reinterpret_cast<const char*>(salt), saltLength);
    sha.Update(reinterpret_cast<const char*>(counter), 4);
    std::memcpy(sha2salt, sha.Final(), sizeof(sha2salt));
    status = blowfish.BcryptHash(sha2pass, sizeof(sha2pass), sha2salt, sizeof(sha2salt), tmp);
    if (status == kStatusOk && tmp.Length() != 32) status = kKeyFormatNotFound;
    if (status != kStatusOk) break;
    std::memcpy(out, tmp.Data(), sizeof(out));
    for (int r = 1; r < rounds && status == kStatusOk; ++r) {
      sha.Reset();
      sha.Update(tmp.Data(), tmp.Length());
      std::memcpy(sha2salt, sha.Final(), sizeof(sha2salt));
      status = blowfish.BcryptHash(sha2pass, sizeof(sha2pass), sha2salt, sizeof(sha2salt), tmp);
      if (status == kStatusOk && tmp.Length() != 32) status = kKeyFormatNotFound;
      for (int i = 0; status == kStatusOk && i < 32; ++i) out[i] ^= tmp.Bytes()[i];
    }
    int stored = 0;
    for (; stored < kAmount && stored < remaining; ++stored) {
      const int dest = stored * kStride + static_cast<int>(count) - 1;
      if (dest >= kOutLength) break;
      output[dest] = out[stored];
    }
    remaining -= stored;
  }
  if (status == kStatusOk) status = key.Set(output, 32);
  if (status == kStatusOk) status = iv.Set(output + 32, 16);
  sha.Reset();
  SecureWipe(output, sizeof(output));
  SecureWipe(sha2pass, sizeof(sha2pass));
  SecureWipe(sha2salt, sizeof(sha2salt));
  SecureWipe(out, sizeof(out));
  return status;
}

namespace {

// Big-endian bytes without their leading zero bytes.
void SkipLeadingZeros(const ByteString& value, const unsigned char*& at, int& length) {
  at = value.Bytes();
  length = value.Length();
  while (length > 0 && *at == 0) {
    ++at;
    --length;
  }
}

int BitLength(const ByteString& value) {
  const unsigned char* at = nullptr;
  int length = 0;
  SkipLeadingZeros(value, at, length);
  if (length == 0) return 0;
  int bits = (length - 1) * 8;
  for (int top = at[0]; top != 0; top >>= 1) ++bits;
  return bits;
}

int AppendLe32(ByteString& out, uint32_t value) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                  static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return out.Append(bytes, 4);
}

int AppendCounted(ByteString& out, const ByteString& value) {
  if (value.Length() > 255) return kKeyUnknownName;
  TORNELL_TRY(out.AppendByte(value.Length()));
  return out.Append(value.Data(), value.Length());
}

}  // namespace

int KeyFileFormats::WriteRsaBlob(TextArmor& out, const ByteString& modulus, const ByteString& exponent,
                                 const ByteString& p, const ByteString& q, const ByteString& dp, const ByteString& dq,
                                 const ByteString& qInv, const ByteString& d) {
  static const unsigned char kHeader[8] = {0x07, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00};
  // The width rounded to 512 bits loses the top bytes of moduli such as 2049
  // or 3000 bits; those take their own bit length as OpenSSL does.
  int bits = ((modulus.Length() + 1) * 8 / 512) * 512;
  const int modulusBits = BitLength(modulus);
  if (bits < modulusBits) bits = modulusBits;
  const int full = (bits + 7) / 8, half = (bits + 15) / 16;
  uint32_t e = 0;
  for (int i = 0; i < exponent.Length(); ++i) e = (e << 8) | exponent.Bytes()[i];
  TORNELL_TRY(out.Append(kHeader, 8));
  TORNELL_TRY(out.Append("RSA2"));
  TORNELL_TRY(AppendLe32(out, static_cast<uint32_t>(bits)));
  TORNELL_TRY(AppendLe32(out, e));
  TORNELL_TRY(out.AppendReversed(modulus.Data(), modulus.Length(), full, 1));
  for (const ByteString* half1 : {&p, &q, &dp, &dq, &qInv}) {
    TORNELL_TRY(out.AppendReversed(half1->Data(), half1->Length(), half, 1));
  }
  return out.AppendReversed(d.Data(), d.Length(), full, 1);
}

int KeyFileFormats::WriteDssBlob(TextArmor& out, const ByteString& p, const ByteString& q, const ByteString& g,
                                 const ByteString& y, const ByteString& x) {
  static const unsigned char kHeader[8] = {0x07, 0x03, 0x00, 0x00, 0x00, 0x22, 0x00, 0x00};
  // One leading zero byte of each value is not counted.
  auto trimmed = [](const ByteString& v, const unsigned char*& at, int& length) {
    at = v.Bytes();
    length = v.Length();
    if (length > 0 && at[0] == 0) {
      ++at;
      --length;
    }
  };
  const unsigned char *pa, *qa, *ga, *ya, *xa;
  int pl, ql, gl, yl, xl;
  trimmed(p, pa, pl);
  trimmed(q, qa, ql);
  trimmed(g, ga, gl);
  trimmed(y, ya, yl);
  trimmed(x, xa, xl);
  const int lp = ((p.Length() + 1) * 8 / 64) * 64;
  static const unsigned char kNoSeed[24] = {0xFF, 0xFF, 0xFF, 0xFF};
  TORNELL_TRY(out.Append(kHeader, 8));
  TORNELL_TRY(out.Append("DSS4"));
  TORNELL_TRY(AppendLe32(out, static_cast<uint32_t>(pl * 8)));
  TORNELL_TRY(AppendLe32(out, static_cast<uint32_t>(ql * 8)));
  TORNELL_TRY(AppendLe32(out, 0));
  TORNELL_TRY(AppendLe32(out, static_cast<uint32_t>(xl * 8)));
  TORNELL_TRY(out.Append(kNoSeed, sizeof(kNoSeed)));
  TORNELL_TRY(out.AppendReversed(pa, pl, pl, 1));
  TORNELL_TRY(out.AppendReversed(qa, ql, ql, 1));
  TORNELL_TRY(out.AppendReversed(ga, gl, lp / 8, 1));
  TORNELL_TRY(out.AppendReversed(ya, yl, lp / 8, 1));
  return out.AppendReversed(xa, xl, xl, 1);
}

int KeyFileFormats::WriteEcBlob(TextArmor& out, int curveIndex, const ByteString& x, const ByteString& y,
                                const ByteString& d) {
  TORNELL_TRY(out.Append("EC"));
  TORNELL_TRY(out.AppendByte(curveIndex));
  TORNELL_TRY(AppendCounted(out, d));
  TORNELL_TRY(AppendCounted(out, x));
  return AppendCounted(out, y);
}

int KeyFileFormats::WriteEdBlob(TextArmor& out, int curveIndex, const ByteString& publicKey,
                                const ByteString& privateKey, const ByteString& third) {
  TORNELL_TRY(out.Append("Ed"));
  if (curveIndex != 3 && curveIndex != 4) return kKeyUnknownName;
  TORNELL_TRY(out.AppendByte(curveIndex));
  TORNELL_TRY(AppendCounted(out, privateKey));
  TORNELL_TRY(AppendCounted(out, publicKey));
  return AppendCounted(out, third);
}

}  // namespace tornell::pki
