#pragma once
// Kerberos 5 client over a datagram port: one Authenticate runs the AS
// exchange (pre-authenticated with an encrypted timestamp when the KDC asks),
// the TGS exchange for the service principal, and builds the GSS-API initial
// context token holding the AP-REQ for that service. Its encryption layer:
// des-cbc-md5 (RFC 3961), aes128/aes256-cts-hmac-sha1-96 (RFC 3962) and
// rc4-hmac (RFC 4757), each with string-to-key, encrypt, decrypt, checksum
// and random key, dispatched by etype number.
#include <cstdint>

#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "net/kerberos/KerberosMessages.h"
#include "net/kerberos/Keytab.h"
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

constexpr int kStatusKerberosBusy = 950;
constexpr int kStatusKerberosInvalidUser = 951;
constexpr int kStatusKerberosKrbError = 952;
constexpr int kStatusKerberosNoEtypeMatch = 953;
constexpr int kStatusKerberosErrorResponse = 1;
constexpr int kStatusKerberosPlatformApi = 306;

constexpr int kKerberosAsReq = 10;
constexpr int kKerberosTgsReq = 12;

// Exchange states.
constexpr int kKerberosIdle = 0;
constexpr int kKerberosAsSent = 1;
constexpr int kKerberosAsDone = 2;
constexpr int kKerberosTgsSent = 3;
constexpr int kKerberosTgsDone = 4;
constexpr int kKerberosPreauthRequired = 5;
constexpr int kKerberosTokenBuilt = 6;

constexpr uint32_t kKerberosDefaultIterations = 4096;
// A count from the KDC above this would run for minutes to hours.
constexpr uint32_t kKerberosMaxIterations = 1u << 24;

class KerberosClient : public UDPPort {
 public:
  KerberosClient();
  ~KerberosClient() override;

  // ---- overrides of UDPPort ----
  int Config(ConfigSetting* setting, const char*& answer) override;
  int OnDataIn(const char* data, int length, const char* sourceAddress, int sourcePort) override;
  int OnReadyToSend() override { return 0; }

  // ---- hooks ----
  virtual int OnSpareHook(int, const char*) { return 0; }
  virtual int OnPacketLog(int /*direction*/, const char* /*text*/) { return 0; }
  virtual int OnLog(int /*level*/, const char* /*text*/, const char* /*category*/) { return 0; }

  // ---- client ----
  // 1 when every step succeeded, else 0.
  int Init();
  [[nodiscard]] int Reset();
  [[nodiscard]] int SetPassword(const char* text) { return password_.Set(text); }
  [[nodiscard]] int SetUser(const char* text);
  [[nodiscard]] int SetKdcHost(const char* text) { return SetRemoteHost(text); }
  const char* GetKdcHost() { return GetRemoteHost(); }
  [[nodiscard]] int SetServicePrincipal(const char* text) { return servicePrincipal_.Set(text); }
  int SetEncodeAuthToken(int on) { encodeAuthToken_ = on != 0 ? 1 : 0; return 0; }
  int GetEncodeAuthToken() const { return encodeAuthToken_; }
  int SetLogPackets(int on) { logPackets_ = on != 0 ? 1 : 0; return 0; }
  [[nodiscard]] int SetKeytabFile(const char* name) { return keytab_.SetFileName(name); }
  const char* GetKeytabFile() const { return keytab_.GetFileName(); }
  [[nodiscard]] int Authenticate();
  // The token stays owned by the client.
  [[nodiscard]] int GetAuthToken(const char*& data, int& length);
  [[nodiscard]] int GetEncryptionTypes(ByteString& out);
  [[nodiscard]] int SetEncryptionTypes(const char* text);
  [[nodiscard]] int SetEtype(int etype);
  int GetState() const { return state_; }
  int GetEtype() const { return etype_; }

  // ---- messages to the KDC ----
  [[nodiscard]] int BuildKdcRequest(int messageType, bool firstAsRequest, ByteString& out);
  [[nodiscard]] int BuildKdcRequestBody(int messageType, ByteString& out);
  static uint32_t RequestKdcOptions(uint32_t options, int messageType);
  [[nodiscard]] static int BuildPrincipalName(const ByteString& text, ByteString& out, int nameType);
  [[nodiscard]] int BuildPaData(int messageType, const ByteString& body, ByteString& out);
  [[nodiscard]] static int BuildPaEncTsEnc(ByteString& out);
  [[nodiscard]] static int BuildEncryptedData(int etype, const ByteString& cipher, ByteString& out);
  [[nodiscard]] int BuildApReq(ByteString& out, const ByteString& body, bool insideTgsRequest);
  [[nodiscard]] int BuildAuthenticator(const ByteString& body, bool insideTgsRequest, ByteString& out);
  [[nodiscard]] int BuildChecksum(int etype, const ByteString& key, const ByteString& data, ByteString& out);
  [[nodiscard]] static int WrapGssToken(const ByteString& apReq, ByteString& out);
  [[nodiscard]] int BuildEncTimestamp(ByteString& out);

  // ---- replies from the KDC ----
  [[nodiscard]] int ProcessReply(const ByteString& message);
  // The etype read and the cipher octets of an EncryptedData.
  [[nodiscard]] static int DecryptReplyPart(const ByteString& encryptedData, int& etype, ByteString& cipher);
  [[nodiscard]] int ParseEncKdcRepPart(const ByteString& part, int& keyType, SecretBytes& key, int& nonce);
  [[nodiscard]] int ProcessKrbError(const ByteString& message);
  [[nodiscard]] int ProcessPaData(const ByteString& list, ByteString& s2kparams);
  [[nodiscard]] int LogPacket(int direction, const char* name, const ByteString& packet);

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

 protected:
  [[nodiscard]] int Unsupported();
  [[nodiscard]] int IntegrityError();
  [[nodiscard]] int RunExchange(const ByteString& firstRequest);
  [[nodiscard]] int SendRequest(const ByteString& request);
  [[nodiscard]] int ClientKey(int etype, const ByteString& s2kparams, SecretBytes& key);
  [[nodiscard]] int ProcessKdcReply(const ByteString& message, bool asReply);
  [[nodiscard]] int ProcessEtypeInfo(const ByteString& value, ByteString& s2kparams);
  [[nodiscard]] int ProcessEtypeInfo2(const ByteString& value);
  [[nodiscard]] int ApplyEtypeInfoEntry(const net::EtypeInfoEntry& entry, bool keytabMatch);
  [[nodiscard]] int LogFormat(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  [[nodiscard]] int ErrorResponse(const ByteString& message);
  [[nodiscard]] int KrbErrorText(int code);

  SecretBytes password_;
  ByteString user_;
  ByteString realm_;
  ByteString servicePrincipal_;
  ByteString etypeList_;
  int state_ = kKerberosIdle;
  int etype_ = -1;
  ByteString salt_;
  ByteString ticket_;
  SecretBytes sessionKey_;
  SecretBytes subkey_;
  ByteString receiveBuffer_;
  ByteString apReqToken_;
  ByteString authToken_;
  net::Keytab keytab_;
  int resultCode_ = 0;
  ByteString resultText_;
  int usePlatformApi_ = 0;
  int logPackets_ = 0;
  int encodeAuthToken_ = 0;
  uint32_t kdcOptions_ = 0;
  // The nonce of the request awaiting its reply; a reply carrying another
  // is a replay of an earlier exchange.
  int nonce_ = 0;
  // Set once the pre-authenticated AS-REQ is out: a second demand for
  // pre-authentication ends the exchange instead of looping.
  bool preauthSent_ = false;
};

}  // namespace tornell
