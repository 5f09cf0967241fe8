#include "tls/suites/CipherSuiteRegistry.h"

#include <cstdint>

#include "crypto/digest/hash/HashAlgorithm.h"

namespace tornell {
namespace {

using HashAlgorithm::kMd5;
using HashAlgorithm::kSha1;
using HashAlgorithm::kSha256;
using HashAlgorithm::kSha384;

// Code, name, key exchange, cipher, key bits, MAC hash, PRF hash, lowest version.
constexpr SuiteParameters kSuites[] = {
    {0x1301, "TLS_AES_128_GCM_SHA256", 0, "AES-GCM", 128, kSha256, 1, 0x0304},
    {0x1302, "TLS_AES_256_GCM_SHA384", 0, "AES-GCM", 256, kSha384, 2, 0x0304},
    {0x1303, "TLS_CHACHA20_POLY1305_SHA256", 0, "CHACHA20-POLY1305", 256, kSha256, 1, 0x0304},
    {0x006B, "TLS_DHE_RSA_WITH_AES_256_CBC_SHA256", 7, "AES", 256, kSha256, 1, 0x0303},
    {0x006A, "TLS_DHE_DSS_WITH_AES_256_CBC_SHA256", 5, "AES", 256, kSha256, 1, 0x0303},
    {0x0039, "TLS_DHE_RSA_WITH_AES_256_CBC_SHA", 7, "AES", 256, kSha1, 1, 0x0301},
    {0x0038, "TLS_DHE_DSS_WITH_AES_256_CBC_SHA", 5, "AES", 256, kSha1, 1, 0x0301},
    {0x0067, "TLS_DHE_RSA_WITH_AES_128_CBC_SHA256", 7, "AES", 128, kSha256, 1, 0x0303},
    {0x0040, "TLS_DHE_DSS_WITH_AES_128_CBC_SHA256", 5, "AES", 128, kSha256, 1, 0x0303},
    {0x0033, "TLS_DHE_RSA_WITH_AES_128_CBC_SHA", 7, "AES", 128, kSha1, 1, 0x0301},
    {0x0032, "TLS_DHE_DSS_WITH_AES_128_CBC_SHA", 5, "AES", 128, kSha1, 1, 0x0301},
    {0x0016, "TLS_DHE_RSA_WITH_3DES_EDE_CBC_SHA", 7, "3DES", 192, kSha1, 1, 0x0301},
    {0x0013, "TLS_DHE_DSS_WITH_3DES_EDE_CBC_SHA", 5, "3DES", 192, kSha1, 1, 0x0301},
    {0x0015, "TLS_DHE_RSA_WITH_DES_CBC_SHA", 7, "DES", 64, kSha1, 1, 0x0301},
    {0x0012, "TLS_DHE_DSS_WITH_DES_CBC_SHA", 5, "DES", 64, kSha1, 1, 0x0301},
    {0x0011, "TLS_DHE_DSS_EXPORT_WITH_DES40_CBC_SHA", 6, "DES", 40, kSha1, 1, 0x0301},
    {0x0014, "TLS_DHE_RSA_EXPORT_WITH_DES40_CBC_SHA", 8, "DES", 40, kSha1, 1, 0x0301},
    {0x003D, "TLS_RSA_WITH_AES_256_CBC_SHA256", 1, "AES", 256, kSha256, 1, 0x0303},
    {0x006D, "TLS_DH_ANON_WITH_AES_256_CBC_SHA256", 9, "AES", 256, kSha256, 1, 0x0303},
    {0x0035, "TLS_RSA_WITH_AES_256_CBC_SHA", 1, "AES", 256, kSha1, 1, 0x0301},
    {0x003A, "TLS_DH_ANON_WITH_AES_256_CBC_SHA", 9, "AES", 256, kSha1, 1, 0x0301},
    {0x003C, "TLS_RSA_WITH_AES_128_CBC_SHA256", 1, "AES", 128, kSha256, 1, 0x0303},
    {0x006C, "TLS_DH_ANON_WITH_AES_128_CBC_SHA256", 9, "AES", 128, kSha256, 1, 0x0303},
    {0x002F, "TLS_RSA_WITH_AES_128_CBC_SHA", 1, "AES", 128, kSha1, 1, 0x0301},
    {0x0034, "TLS_DH_ANON_WITH_AES_128_CBC_SHA", 9, "AES", 128, kSha1, 1, 0x0301},
    {0x000A, "TLS_RSA_WITH_3DES_EDE_CBC_SHA", 1, "3DES", 192, kSha1, 1, 0x0301},
    {0x001B, "TLS_DH_ANON_WITH_3DES_EDE_CBC_SHA", 9, "3DES", 192, kSha1, 1, 0x0301},
    {0x0009, "TLS_RSA_WITH_DES_CBC_SHA", 1, "DES", 64, kSha1, 1, 0x0301},
    {0x001A, "TLS_DH_ANON_WITH_DES_CBC_SHA", 9, "DES", 64, kSha1, 1, 0x0301},
    {0x0008, "TLS_RSA_EXPORT_WITH_DES40_CBC_SHA", 2, "DES", 40, kSha1, 1, 0x0301},
    {0x0019, "TLS_DH_anon_EXPORT_WITH_DES40_CBC_SHA", 10, "DES", 40, kSha1, 1, 0x0301},
    {0x0004, "TLS_RSA_WITH_RC4_128_MD5", 1, "RC4", 128, kMd5, 1, 0x0301},
    {0x0005, "TLS_RSA_WITH_RC4_128_SHA", 1, "RC4", 128, kSha1, 1, 0x0301},
    {0x0018, "TLS_DH_anon_WITH_RC4_128_MD5", 9, "RC4", 128, kMd5, 1, 0x0301},
    {0x009C, "TLS_RSA_WITH_AES_128_GCM_SHA256", 1, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0x009D, "TLS_RSA_WITH_AES_256_GCM_SHA384", 1, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0x009E, "TLS_DHE_RSA_WITH_AES_128_GCM_SHA256", 7, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0x009F, "TLS_DHE_RSA_WITH_AES_256_GCM_SHA384", 7, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0x00A0, "TLS_DH_RSA_WITH_AES_128_GCM_SHA256", 4, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0x00A1, "TLS_DH_RSA_WITH_AES_256_GCM_SHA384", 4, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0x00A2, "TLS_DHE_DSS_WITH_AES_128_GCM_SHA256", 5, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0x00A3, "TLS_DHE_DSS_WITH_AES_256_GCM_SHA384", 5, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0x00A4, "TLS_DH_DSS_WITH_AES_128_GCM_SHA256", 3, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0x00A5, "TLS_DH_DSS_WITH_AES_256_GCM_SHA384", 3, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0x00A6, "TLS_DH_anon_WITH_AES_128_GCM_SHA256", 9, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0x00A7, "TLS_DH_anon_WITH_AES_256_GCM_SHA384", 9, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0xC003, "TLS_ECDH_ECDSA_WITH_3DES_EDE_CBC_SHA", 13, "3DES", 192, kSha1, 1, 0x0301},
    {0xC004, "TLS_ECDH_ECDSA_WITH_AES_128_CBC_SHA", 13, "AES", 128, kSha1, 1, 0x0301},
    {0xC005, "TLS_ECDH_ECDSA_WITH_AES_256_CBC_SHA", 13, "AES", 256, kSha1, 1, 0x0301},
    {0xC008, "TLS_ECDHE_ECDSA_WITH_3DES_EDE_CBC_SHA", 11, "3DES", 192, kSha1, 1, 0x0301},
    {0xC009, "TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA", 11, "AES", 128, kSha1, 1, 0x0301},
    {0xC00A, "TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA", 11, "AES", 256, kSha1, 1, 0x0301},
    {0xC00D, "TLS_ECDH_RSA_WITH_3DES_EDE_CBC_SHA", 14, "3DES", 192, kSha1, 1, 0x0301},
    {0xC00E, "TLS_ECDH_RSA_WITH_AES_128_CBC_SHA", 14, "AES", 128, kSha1, 1, 0x0301},
    {0xC00F, "TLS_ECDH_RSA_WITH_AES_256_CBC_SHA", 14, "AES", 256, kSha1, 1, 0x0301},
    {0xC012, "TLS_ECDHE_RSA_WITH_3DES_EDE_CBC_SHA", 12, "3DES", 192, kSha1, 1, 0x0301},
    {0xC013, "TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA", 12, "AES", 128, kSha1, 1, 0x0301},
    {0xC014, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA", 12, "AES", 256, kSha1, 1, 0x0301},
    {0xC017, "TLS_ECDH_ANON_WITH_3DES_EDE_CBC_SHA", 15, "3DES", 192, kSha1, 1, 0x0301},
    {0xC018, "TLS_ECDH_ANON_WITH_AES_128_CBC_SHA", 15, "AES", 128, kSha1, 1, 0x0301},
    {0xC019, "TLS_ECDH_ANON_WITH_AES_256_CBC_SHA", 15, "AES", 256, kSha1, 1, 0x0301},
    {0xC023, "TLS_ECDHE_ECDSA_WITH_AES_128_CBC_SHA256", 11, "AES", 128, kSha256, 1, 0x0303},
    {0xC024, "TLS_ECDHE_ECDSA_WITH_AES_256_CBC_SHA384", 11, "AES", 256, kSha384, 2, 0x0303},
    {0xC025, "TLS_ECDH_ECDSA_WITH_AES_128_CBC_SHA256", 13, "AES", 128, kSha256, 1, 0x0303},
    {0xC026, "TLS_ECDH_ECDSA_WITH_AES_256_CBC_SHA384", 13, "AES", 256, kSha384, 2, 0x0303},
    {0xC027, "TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA256", 12, "AES", 128, kSha256, 1, 0x0303},
    {0xC028, "TLS_ECDHE_RSA_WITH_AES_256_CBC_SHA384", 12, "AES", 256, kSha384, 2, 0x0303},
    {0xC029, "TLS_ECDH_RSA_WITH_AES_128_CBC_SHA256", 14, "AES", 128, kSha256, 1, 0x0303},
    {0xC02A, "TLS_ECDH_RSA_WITH_AES_256_CBC_SHA384", 14, "AES", 256, kSha384, 2, 0x0303},
    {0xC02B, "TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256", 11, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0xC02C, "TLS_ECDHE_ECDSA_WITH_AES_256_GCM_SHA384", 11, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0xC02D, "TLS_ECDH_ECDSA_WITH_AES_128_GCM_SHA256", 13, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0xC02E, "TLS_ECDH_ECDSA_WITH_AES_256_GCM_SHA384", 13, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0xC02F, "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256", 12, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0xC030, "TLS_ECDHE_RSA_WITH_AES_256_GCM_SHA384", 12, "AES-GCM", 256, kSha384, 2, 0x0303},
    {0xC031, "TLS_ECDH_RSA_WITH_AES_128_GCM_SHA256", 14, "AES-GCM", 128, kSha256, 1, 0x0303},
    {0xC032, "TLS_ECDH_RSA_WITH_AES_256_GCM_SHA384", 14, "AES-GCM", 256, kSha384, 2, 0x0303},
};

constexpr int kSuiteCount = static_cast<int>(sizeof kSuites / sizeof kSuites[0]);

// Every registry code has 0x00, 0x13 or 0xC0 as its high byte: the index of
// a code, plus one, by high-byte group and low byte (0 for none).
struct CodeIndex {
  uint8_t slots[3][256] = {};
};

constexpr int GroupOf(int code) {
  switch (code >> 8) {
    case 0x00: return 0;
    case 0x13: return 1;
    case 0xC0: return 2;
    default: return -1;
  }
}

constexpr CodeIndex MakeCodeIndex() {
  CodeIndex index;
  for (int i = 0; i < kSuiteCount; ++i) index.slots[GroupOf(kSuites[i].code)][kSuites[i].code & 0xFF] = uint8_t(i + 1);
  return index;
}

constexpr CodeIndex kCodeIndex = MakeCodeIndex();

// Owns the suites; built once, on first use, and never changed.
class Registry {
 public:
  Registry() {
    for (int i = 0; i < kSuiteCount; ++i) suites_[i] = new CipherSuite(kSuites[i].code);
  }
  ~Registry() {
    for (CipherSuite*& suite : suites_) {
      delete suite;
      suite = nullptr;
    }
  }
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  const CipherSuite* Get(int i) const { return suites_[i]; }

 private:
  CipherSuite* suites_[kSuiteCount] = {};
};

const Registry& Instance() {
  static const Registry registry;
  return registry;
}

}  // namespace

int CipherSuiteRegistry::Count() { return kSuiteCount; }

const CipherSuite* CipherSuiteRegistry::Get(int i) {
  if (i < 0 || i >= kSuiteCount) return nullptr;
  return Instance().Get(i);
}

const SuiteParameters* CipherSuiteRegistry::ParametersOf(int code) {
  const int i = IndexOf(code);
  return i >= 0 ? &kSuites[i] : nullptr;
}

const SuiteParameters& CipherSuiteRegistry::Row(int i) { return kSuites[i]; }

int CipherSuiteRegistry::IndexOf(int code) {
  const int group = code >= 0 && code <= 0xFFFF ? GroupOf(code) : -1;
  return group < 0 ? -1 : kCodeIndex.slots[group][code & 0xFF] - 1;
}

}  // namespace tornell
