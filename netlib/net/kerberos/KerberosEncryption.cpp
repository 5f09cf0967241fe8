#include <cstring>

#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "core/text/SecretBytes.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "net/kerberos/KerberosClient.h"
#include "net/kerberos/KerberosPrimitives.h"
#include "pki/der/DerWriter.h"

namespace tornell {

using net::KerberosDigest;
using net::KerberosHmac;
using net::KerberosPutU32;
using net::KerberosRandomBytes;

namespace {

constexpr int kDesBlock = 8;
constexpr int kAesBlock = 16;
constexpr int kMd5Bytes = 16;
constexpr int kDesHeader = kDesBlock + kMd5Bytes;  // confounder and checksum
constexpr int kRc4Confounder = 8;
constexpr int kAesMacBytes = 12;
constexpr uint8_t kUsageKe = 0xAA;
constexpr uint8_t kUsageKi = 0x55;
constexpr uint8_t kUsageKc = 0x99;
constexpr int kDefaultChecksumUsage = 6;

constexpr uint8_t kDesWeakKeys[16][8] = {
    {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01}, {0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE},
    {0x1F, 0x1F, 0x1F, 0x1F, 0x0E, 0x0E, 0x0E, 0x0E}, {0xE0, 0xE0, 0xE0, 0xE0, 0xF1, 0xF1, 0xF1, 0xF1},
    {0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE}, {0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01, 0xFE, 0x01},
    {0x1F, 0xE0, 0x1F, 0xE0, 0x0E, 0xF1, 0x0E, 0xF1}, {0xE0, 0x1F, 0xE0, 0x1F, 0xF1, 0x0E, 0xF1, 0x0E},
    {0x01, 0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1}, {0xE0, 0x01, 0xE0, 0x01, 0xF1, 0x01, 0xF1, 0x01},
    {0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E, 0xFE}, {0xFE, 0x1F, 0xFE, 0x1F, 0xFE, 0x0E, 0xFE, 0x0E},
    {0x01, 0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E}, {0x1F, 0x01, 0x1F, 0x01, 0x0E, 0x01, 0x0E, 0x01},
    {0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1, 0xFE}, {0xFE, 0xE0, 0xFE, 0xE0, 0xFE, 0xF1, 0xFE, 0xF1},
};

uint8_t ReverseBits(uint8_t b) {
  b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

int RunCipher(int algorithm, int mode, const ByteString& data, const ByteString& key, const ByteString& iv,
              bool encrypt, ByteString& out) {
  SymmetricCipher cipher;
  TORNELL_TRY(cipher.SetAlgorithm(algorithm));
  if (mode != 0) TORNELL_TRY(cipher.SetMode(mode));
  TORNELL_TRY(cipher.SetPadding(CipherPadding::None));
  const char* ivData = iv.Length() != 0 ? iv.Data() : nullptr;
  if (encrypt) {
    TORNELL_TRY(cipher.InitEncrypt(key.Data(), key.Length(), ivData, iv.Length()));
  } else {
    TORNELL_TRY(cipher.InitDecrypt(key.Data(), key.Length(), ivData, iv.Length()));
  }
  out.Clear();
  return cipher.Final(data.Data(), 0, data.Length(), out);
}

int Tail(const ByteString& in, int from, ByteString& out) {
  if (from > in.Length()) return kStatusKerberosShortCiphertext;
  return out.Set(in.Data() + from, in.Length() - from);
}

int KeyBytes(int bits) { return bits / 8; }

}  // namespace

int KerberosClient::Unsupported() {
  return ReturnError(kStatusKerberosUnsupportedEtype, "Unsupported encryption type.");
}

int KerberosClient::IntegrityError() { return ReturnError(kStatusKerberosIntegrity, "Integrity check error."); }

// ---- dispatch ----------------------------------------------------------------

int KerberosClient::StringToKey(int etype, const ByteString& password, const ByteString& salt,
                                const ByteString& s2kparams, ByteString& key) {
  switch (etype) {
    case kKerberosEtypeDesCbcMd5: return DesStringToKey(password, salt, key);
    case kKerberosEtypeRc4Hmac: return Rc4StringToKey(password, key);
    case kKerberosEtypeAes128: return AesStringToKey(password, salt, s2kparams, 128, key);
    case kKerberosEtypeAes256: return AesStringToKey(password, salt, s2kparams, 256, key);
    default: return Unsupported();
  }
}

int KerberosClient::EncryptData(int etype, const ByteString& plaintext, const ByteString& key, int usage,
                                ByteString& out) {
  switch (etype) {
    case kKerberosEtypeDesCbcMd5: return DesCbcMd5Encrypt(plaintext, key, out);
    case kKerberosEtypeRc4Hmac: return Rc4HmacEncrypt(plaintext, key, usage, out);
    case kKerberosEtypeAes128: return AesCtsEncrypt(plaintext, key, usage, 128, out);
    case kKerberosEtypeAes256: return AesCtsEncrypt(plaintext, key, usage, 256, out);
    default: return Unsupported();
  }
}

int KerberosClient::DecryptData(int etype, const ByteString& ciphertext, const ByteString& key, int usage,
                                ByteString& out) {
  switch (etype) {
    case kKerberosEtypeDesCbcMd5: return DesCbcMd5Decrypt(ciphertext, key, out);
    case kKerberosEtypeRc4Hmac: return Rc4HmacDecrypt(ciphertext, key, usage, out);
    case kKerberosEtypeAes128: return AesCtsDecrypt(ciphertext, key, usage, 128, out);
    case kKerberosEtypeAes256: return AesCtsDecrypt(ciphertext, key, usage, 256, out);
    default: return Unsupported();
  }
}

int KerberosClient::ComputeChecksum(int etype, int usage, const ByteString& key, const ByteString& data,
                                    ByteString& out, int& type) {
  type = 0;
  out.Clear();
  switch (etype) {
    case kKerberosEtypeDesCbcMd5: type = kKerberosChecksumCrc32; return Crc32Checksum(data, out);
    case kKerberosEtypeRc4Hmac: type = kKerberosChecksumMd5; return Md5Checksum(data, out);
    case kKerberosEtypeAes128: type = kKerberosChecksumAes128; return AesChecksum(key, usage, data, 128, out);
    case kKerberosEtypeAes256: type = kKerberosChecksumAes256; return AesChecksum(key, usage, data, 256, out);
    default: return kStatusOk;
  }
}

int KerberosClient::MakeRandomKey(int etype, ByteString& key, ByteString& keyvalue) {
  int length = 0;
  switch (etype) {
    case kKerberosEtypeDesCbcMd5: length = 8; break;
    case kKerberosEtypeRc4Hmac:
    case kKerberosEtypeAes128: length = 16; break;
    case kKerberosEtypeAes256: length = 32; break;
    default: return Unsupported();
  }
  TORNELL_TRY(KerberosRandomBytes(length, key));
  pki::DerWriter octets;
  TORNELL_TRY(octets.AppendTagged(key.Data(), key.Length(), 0x04));
  pki::DerWriter element;
  TORNELL_TRY(element.AppendTagged(octets.output.Data(), octets.output.Length(), 0xA1));
  SecureWipe(octets.output.Data(), static_cast<size_t>(octets.output.Length()));
  TORNELL_TRY(keyvalue.Set(element.output.Data(), element.output.Length()));
  SecureWipe(element.output.Data(), static_cast<size_t>(element.output.Length()));
  return kStatusOk;
}

// ---- cipher pieces --------------------------------------------------------------

int KerberosClient::DesCbcTransform(const ByteString& data, const ByteString& key, const ByteString& iv, bool encrypt,
                                    ByteString& out) {
  return RunCipher(1, CipherMode::CBC, data, key, iv, encrypt, out);
}

int KerberosClient::Rc4Transform(const ByteString& data, const ByteString& key, bool encrypt, ByteString& out) {
  return RunCipher(7, 0, data, key, ByteString(), encrypt, out);
}

int KerberosClient::AesTransform(const ByteString& data, const ByteString& key, const ByteString& iv, int mode,
                                 bool encrypt, ByteString& out) {
  if (iv.Length() != 0) return RunCipher(0, mode, data, key, iv, encrypt, out);
  ByteString zero;
  TORNELL_TRY(zero.Resize(kAesBlock));
  std::memset(zero.Data(), 0, kAesBlock);
  return RunCipher(0, mode, data, key, zero, encrypt, out);
}

int KerberosClient::NFold(const ByteString& in, int bytes, ByteString& out) { return net::KerberosNFold(in, bytes, out); }

int KerberosClient::DeriveKey(const ByteString& key, const ByteString& constant, ByteString& out) {
  ByteString block;
  TORNELL_TRY(NFold(constant, kAesBlock, block));
  SecretBytes derived;
  SecretBytes next;
  while (derived.Length() < key.Length()) {
    TORNELL_TRY(AesTransform(block, key, ByteString(), CipherMode::CBC, true, next));
    const int take = key.Length() - derived.Length() < kAesBlock ? key.Length() - derived.Length() : kAesBlock;
    TORNELL_TRY(derived.Append(next.Data(), take));
    TORNELL_TRY(block.Set(next.Data(), next.Length()));
  }
  SecureWipe(block.Data(), static_cast<size_t>(block.Length()));
  return out.Set(derived.Data(), derived.Length());
}

int KerberosClient::DeriveUsageKey(const ByteString& key, int usage, uint8_t kind, ByteString& out) {
  ByteString constant;
  TORNELL_TRY(KerberosPutU32(static_cast<uint32_t>(usage), 1, constant));
  TORNELL_TRY(constant.AppendByte(kind));
  return DeriveKey(key, constant, out);
}

// ---- des-cbc-md5 -------------------------------------------------------------------

int KerberosClient::DesZeroPad(ByteString& data) {
  const int rest = data.Length() % kDesBlock;
  if (rest == 0) return kStatusOk;
  const int old = data.Length();
  TORNELL_TRY(data.Resize(old + kDesBlock - rest));
  std::memset(data.Data() + old, 0, static_cast<size_t>(kDesBlock - rest));
  return kStatusOk;
}

void KerberosClient::DesFanFold(const ByteString& data, uint8_t accumulator[8]) {
  std::memset(accumulator, 0, kDesBlock);
  const uint8_t* in = data.Bytes();
  for (int block = 0; block * kDesBlock < data.Length(); ++block) {
    const uint8_t* b = in + block * kDesBlock;
    for (int i = 0; i < kDesBlock; ++i) {
      const uint8_t folded = (block % 2 == 0) ? static_cast<uint8_t>(b[i] << 1)
                                              : static_cast<uint8_t>(ReverseBits(b[kDesBlock - 1 - i]) & 0xFE);
      accumulator[i] ^= folded;
    }
  }
}

void KerberosClient::DesAddParity(uint8_t key[8]) {
  for (int i = 0; i < kDesBlock; ++i) {
    int ones = 0;
    for (int bit = 0; bit < 7; ++bit) ones += net::KerberosGetBit(key[i], bit);
    key[i] = net::KerberosSetBit(key[i], 7, (ones & 1) == 0 ? 1 : 0);
  }
}

uint8_t KerberosClient::IsDesWeakKey(const uint8_t key[8]) {
  uint8_t weak = 0;
  for (const auto& row : kDesWeakKeys) weak |= ct::BytesEqualMask(key, row, kDesBlock);
  return weak;
}

void KerberosClient::DesKeyCorrection(uint8_t key[8]) { key[7] ^= static_cast<uint8_t>(IsDesWeakKey(key) & 0xF0); }

int KerberosClient::DesStringToKey(const ByteString& password, const ByteString& salt, ByteString& key) {
  SecretBytes s;
  TORNELL_TRY(s.Set(password.Data(), password.Length()));
  TORNELL_TRY(s.Append(salt.Data(), salt.Length()));
  TORNELL_TRY(DesZeroPad(s));
  uint8_t folded[kDesBlock];
  DesFanFold(s, folded);
  DesAddParity(folded);
  DesKeyCorrection(folded);
  SecretBytes tempKey;
  const int set = tempKey.Set(folded, kDesBlock);
  SecureWipeObject(folded);
  TORNELL_TRY(set);
  SecretBytes encrypted;
  TORNELL_TRY(DesCbcTransform(s, tempKey, tempKey, true, encrypted));
  uint8_t last[kDesBlock];
  std::memcpy(last, encrypted.Bytes() + encrypted.Length() - kDesBlock, kDesBlock);
  DesAddParity(last);
  DesKeyCorrection(last);
  const int result = key.Set(last, kDesBlock);
  SecureWipeObject(last);
  return result;
}

int KerberosClient::DesCbcMd5Encrypt(const ByteString& plaintext, const ByteString& key, ByteString& out) {
  SecretBytes m;
  TORNELL_TRY(KerberosRandomBytes(kDesBlock, m));
  TORNELL_TRY(m.Resize(kDesHeader));
  std::memset(m.Data() + kDesBlock, 0, kMd5Bytes);
  TORNELL_TRY(m.Append(plaintext.Data(), plaintext.Length()));
  // Eight zero bytes when already aligned, as the peers of this client expect.
  const int rest = m.Length() % kDesBlock;
  const int fill = rest == 0 ? kDesBlock : kDesBlock - rest;
  const int value = rest == 0 ? 0 : fill;
  for (int i = 0; i < fill; ++i) TORNELL_TRY(m.AppendByte(value));
  ByteString digest;
  TORNELL_TRY(Md5Checksum(m, digest));
  std::memcpy(m.Data() + kDesBlock, digest.Data(), kMd5Bytes);
  ByteString iv;
  TORNELL_TRY(iv.Resize(kDesBlock));
  std::memset(iv.Data(), 0, kDesBlock);
  return DesCbcTransform(m, key, iv, true, out);
}

int KerberosClient::DesCbcMd5Decrypt(const ByteString& ciphertext, const ByteString& key, ByteString& out) {
  // Shorter than confounder and checksum, or not whole blocks: nothing to check.
  if (ciphertext.Length() < kDesHeader || ciphertext.Length() % kDesBlock != 0) return IntegrityError();
  ByteString iv;
  TORNELL_TRY(iv.Resize(kDesBlock));
  std::memset(iv.Data(), 0, kDesBlock);
  SecretBytes m;
  TORNELL_TRY(DesCbcTransform(ciphertext, key, iv, false, m));
  uint8_t received[kMd5Bytes];
  std::memcpy(received, m.Data() + kDesBlock, kMd5Bytes);
  std::memset(m.Data() + kDesBlock, 0, kMd5Bytes);
  ByteString digest;
  TORNELL_TRY(Md5Checksum(m, digest));
  if (!ct::BytesEqual(received, digest.Data(), kMd5Bytes)) return IntegrityError();
  return Tail(m, kDesHeader, out);
}

// ---- rc4-hmac ------------------------------------------------------------------------

int KerberosClient::Rc4UsageNumber(int usage) {
  switch (usage) {
    case 3: return 8;
    case 9: return 8;
    case 23: return 13;
    default: return usage;
  }
}

int KerberosClient::Rc4StringToKey(const ByteString& password, ByteString& key) {
  return KerberosDigest("MD4", password, key);
}

int KerberosClient::Rc4HmacEncrypt(const ByteString& plaintext, const ByteString& key, int usage, ByteString& out) {
  ByteString t;
  TORNELL_TRY(KerberosPutU32(static_cast<uint32_t>(Rc4UsageNumber(usage)), 0, t));
  SecretBytes k1;
  TORNELL_TRY(KerberosHmac("hmacmd5", key, t, k1));
  SecretBytes data;
  TORNELL_TRY(KerberosRandomBytes(kRc4Confounder, data));
  TORNELL_TRY(data.Append(plaintext.Data(), plaintext.Length()));
  ByteString checksum;
  TORNELL_TRY(KerberosHmac("hmacmd5", k1, data, checksum));
  SecretBytes k3;
  TORNELL_TRY(KerberosHmac("hmacmd5", k1, checksum, k3));
  ByteString sealed;
  TORNELL_TRY(Rc4Transform(data, k3, true, sealed));
  TORNELL_TRY(out.Set(checksum.Data(), checksum.Length()));
  return out.Append(sealed.Data(), sealed.Length());
}

int KerberosClient::Rc4HmacDecrypt(const ByteString& ciphertext, const ByteString& key, int usage, ByteString& out) {
  // The checksum and the whole confounder must be there.
  if (ciphertext.Length() < kMd5Bytes + kRc4Confounder) return kStatusKerberosShortCiphertext;
  ByteString t;
  TORNELL_TRY(KerberosPutU32(static_cast<uint32_t>(Rc4UsageNumber(usage)), 0, t));
  SecretBytes k1;
  TORNELL_TRY(KerberosHmac("hmacmd5", key, t, k1));
  ByteString checksum;
  TORNELL_TRY(checksum.Set(ciphertext.Data(), kMd5Bytes));
  SecretBytes k3;
  TORNELL_TRY(KerberosHmac("hmacmd5", k1, checksum, k3));
  ByteString sealed;
  TORNELL_TRY(Tail(ciphertext, kMd5Bytes, sealed));
  SecretBytes data;
  TORNELL_TRY(Rc4Transform(sealed, k3, false, data));
  ByteString expected;
  TORNELL_TRY(KerberosHmac("hmacmd5", k1, data, expected));
  if (!ct::BytesEqual(expected.Data(), checksum.Data(), kMd5Bytes)) return IntegrityError();
  return Tail(data, kRc4Confounder, out);
}

// ---- aes-cts-hmac-sha1-96 -----------------------------------------------------------------

int KerberosClient::AesStringToKey(const ByteString& password, const ByteString& salt, const ByteString& s2kparams,
                                   int bits, ByteString& key) {
  const uint32_t iterations =
      s2kparams.Length() == 0 ? kKerberosDefaultIterations : net::KerberosReadU32BigEndian(s2kparams);
  // The count comes from the KDC's reply: 0 would derive nothing, a huge one would hang us.
  if (iterations == 0 || iterations > kKerberosMaxIterations) return kStatusKerberosBadIterations;
  SecretBytes tkey;
  TORNELL_TRY(net::KerberosPbkdf2(password, salt, static_cast<int>(iterations), bits, tkey));
  return DeriveKey(tkey, ByteString("kerberos"), key);
}

int KerberosClient::AesCtsEncrypt(const ByteString& plaintext, const ByteString& key, int usage, int bits,
                                  ByteString& out) {
  if (key.Length() != KeyBytes(bits)) return SymmetricCipher::kBadKeySize;
  SecretBytes ke;
  SecretBytes ki;
  TORNELL_TRY(DeriveUsageKey(key, usage, kUsageKe, ke));
  TORNELL_TRY(DeriveUsageKey(key, usage, kUsageKi, ki));
  SecretBytes data;
  TORNELL_TRY(KerberosRandomBytes(kAesBlock, data));
  TORNELL_TRY(data.Append(plaintext.Data(), plaintext.Length()));
  ByteString sealed;
  TORNELL_TRY(AesTransform(data, ke, ByteString(), CipherMode::CTS, true, sealed));
  ByteString mac;
  TORNELL_TRY(KerberosHmac("hmacsha1", ki, data, mac));
  TORNELL_TRY(out.Set(sealed.Data(), sealed.Length()));
  return out.Append(mac.Data(), kAesMacBytes);
}

int KerberosClient::AesCtsDecrypt(const ByteString& ciphertext, const ByteString& key, int usage, int bits,
                                  ByteString& out) {
  if (ciphertext.Length() < kAesMacBytes) return kStatusKerberosShortCiphertext;
  if (key.Length() != KeyBytes(bits)) return SymmetricCipher::kBadKeySize;
  SecretBytes ke;
  SecretBytes ki;
  TORNELL_TRY(DeriveUsageKey(key, usage, kUsageKe, ke));
  TORNELL_TRY(DeriveUsageKey(key, usage, kUsageKi, ki));
  const int sealedLength = ciphertext.Length() - kAesMacBytes;
  ByteString sealed;
  TORNELL_TRY(sealed.Set(ciphertext.Data(), sealedLength));
  SecretBytes data;
  TORNELL_TRY(AesTransform(sealed, ke, ByteString(), CipherMode::CTS, false, data));
  ByteString mac;
  TORNELL_TRY(KerberosHmac("hmacsha1", ki, data, mac));
  if (!ct::BytesEqual(mac.Data(), ciphertext.Data() + sealedLength, kAesMacBytes)) return IntegrityError();
  return Tail(data, kAesBlock, out);
}

int KerberosClient::AesChecksum(const ByteString& key, int usage, const ByteString& data, int bits, ByteString& out) {
  if (key.Length() != KeyBytes(bits)) return SymmetricCipher::kBadKeySize;
  SecretBytes kc;
  TORNELL_TRY(DeriveUsageKey(key, usage < 1 ? kDefaultChecksumUsage : usage, kUsageKc, kc));
  ByteString mac;
  TORNELL_TRY(KerberosHmac("hmacsha1", kc, data, mac));
  return out.Set(mac.Data(), kAesMacBytes);
}

// ---- unkeyed checksums -------------------------------------------------------------------

// RFC 3961 CRC-32: initial value 0 and no final complement.
int KerberosClient::Crc32Checksum(const ByteString& data, ByteString& out) {
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  uint32_t crc = 0;
  for (int i = 0; i < data.Length(); ++i) crc = table[(crc ^ data.Bytes()[i]) & 0xFF] ^ (crc >> 8);
  return KerberosPutU32(crc, 0, out);
}

int KerberosClient::Md5Checksum(const ByteString& data, ByteString& out) { return KerberosDigest("MD5", data, out); }

}  // namespace tornell
