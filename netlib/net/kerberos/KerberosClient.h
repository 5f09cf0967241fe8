#pragma once
// Kerberos 5 client over a datagram port. This part carries its encryption
// layer: des-cbc-md5 (RFC 3961), aes128/aes256-cts-hmac-sha1-96 (RFC 3962)
// and rc4-hmac (RFC 4757), each with string-to-key, encrypt, decrypt,
// checksum and random key, dispatched by etype number.
#include <cstdint>

#include "core/text/ByteString.h"
#include "net/udp/UDPPort.h"

namespace tornell {

constexpr int kKerberosEtypeDesCbcMd5 = 3;
constexpr int kKerberosEtypeAes128 = 17;
constexpr int kKerberosEtypeAes256 = 18;
constexpr int kKerberosEtypeRc4Hmac = 23;

constexpr int kKerberosChecksumCrc32 = 1;
constexpr int kKerberosChecksumMd5 = 7;
constexpr int kKerberosChecksumAes128 = 15;
constexpr int kKerberosChecksumAes256 = 16;

constexpr int kStatusKerberosIntegrity = 953;
constexpr int kStatusKerberosUnsupportedEtype = 954;
constexpr int kStatusKerberosShortCiphertext = 432;
// PBKDF2's refusal of an iteration count.
constexpr int kStatusKerberosBadIterations = 2002;

constexpr uint32_t kKerberosDefaultIterations = 4096;
// A count from the KDC above this would run for minutes to hours.
constexpr uint32_t kKerberosMaxIterations = 1u << 24;

class KerberosClient : public UDPPort {
 public:
  KerberosClient();
  ~KerberosClient() override;

  // ---- dispatch by etype ----
  // rc4-hmac takes the password in UTF-16LE, the others its raw bytes.
  [[nodiscard]] int StringToKey(int etype, const ByteString& password, const ByteString& salt,
                                const ByteString& s2kparams, ByteString& key);
  [[nodiscard]] int EncryptData(int etype, const ByteString& plaintext, const ByteString& key, int usage,
                                ByteString& out);
  [[nodiscard]] int DecryptData(int etype, const ByteString& ciphertext, const ByteString& key, int usage,
                                ByteString& out);
  // Another etype gives type 0, an empty checksum and 0.
  [[nodiscard]] int ComputeChecksum(int etype, int usage, const ByteString& key, const ByteString& data,
                                    ByteString& out, int& type);
  // keyvalue = [1] { OCTET STRING key }.
  [[nodiscard]] int MakeRandomKey(int etype, ByteString& key, ByteString& keyvalue);

  // ---- per etype ----
  [[nodiscard]] int DesStringToKey(const ByteString& password, const ByteString& salt, ByteString& key);
  [[nodiscard]] int DesCbcMd5Encrypt(const ByteString& plaintext, const ByteString& key, ByteString& out);
  [[nodiscard]] int DesCbcMd5Decrypt(const ByteString& ciphertext, const ByteString& key, ByteString& out);
  [[nodiscard]] int Rc4StringToKey(const ByteString& password, ByteString& key);
  [[nodiscard]] int Rc4HmacEncrypt(const ByteString& plaintext, const ByteString& key, int usage, ByteString& out);
  [[nodiscard]] int Rc4HmacDecrypt(const ByteString& ciphertext, const ByteString& key, int usage, ByteString& out);
  [[nodiscard]] int AesStringToKey(const ByteString& password, const ByteString& salt, const ByteString& s2kparams,
                                   int bits, ByteString& key);
  [[nodiscard]] int AesCtsEncrypt(const ByteString& plaintext, const ByteString& key, int usage, int bits,
                                  ByteString& out);
  [[nodiscard]] int AesCtsDecrypt(const ByteString& ciphertext, const ByteString& key, int usage, int bits,
                                  ByteString& out);
  [[nodiscard]] int AesChecksum(const ByteString& key, int usage, const ByteString& data, int bits, ByteString& out);
  [[nodiscard]] static int Crc32Checksum(const ByteString& data, ByteString& out);
  [[nodiscard]] static int Md5Checksum(const ByteString& data, ByteString& out);

  // ---- pieces ----
  [[nodiscard]] static int DesCbcTransform(const ByteString& data, const ByteString& key, const ByteString& iv,
                                           bool encrypt, ByteString& out);
  [[nodiscard]] static int Rc4Transform(const ByteString& data, const ByteString& key, bool encrypt, ByteString& out);
  [[nodiscard]] static int AesTransform(const ByteString& data, const ByteString& key, const ByteString& iv, int mode,
                                        bool encrypt, ByteString& out);
  [[nodiscard]] static int NFold(const ByteString& in, int bytes, ByteString& out);
  // RFC 3961 DK with AES; random-to-key is the identity.
  [[nodiscard]] static int DeriveKey(const ByteString& key, const ByteString& constant, ByteString& out);
  [[nodiscard]] static int DeriveUsageKey(const ByteString& key, int usage, uint8_t kind, ByteString& out);
  [[nodiscard]] static int DesZeroPad(ByteString& data);
  static void DesFanFold(const ByteString& data, uint8_t accumulator[8]);
  static void DesAddParity(uint8_t key[8]);
  static void DesKeyCorrection(uint8_t key[8]);
  // 0xFF when the key is one of the weak or semi-weak DES keys, else 0.
  static uint8_t IsDesWeakKey(const uint8_t key[8]);
  static int Rc4UsageNumber(int usage);

 private:
  [[nodiscard]] int Unsupported();
  [[nodiscard]] int IntegrityError();
};

}  // namespace tornell
