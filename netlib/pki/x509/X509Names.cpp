// Object identifier names and distinguished names between DER and text.
#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/CertificateWalk.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

struct NamePair {
  const char* key;
  const char* value;
};

constexpr NamePair kShortNames[] = {
    {"C", "2.5.4.6"},   {"SERIALNUMBER", "2.5.4.5"}, {"PostalCode", "2.5.4.17"}, {"S", "2.5.4.8"},
    {"L", "2.5.4.7"},   {"STREET", "2.5.4.9"},       {"O", "2.5.4.10"},          {"OU", "2.5.4.11"},
    {"CN", "2.5.4.3"},  {"SN", "2.5.4.4"},           {"G", "2.5.4.42"},          {"I", "2.5.4.43"},
    {"E", "1.2.840.113549.1.9.1"}, {"T", "2.5.4.12"},
};

constexpr NamePair kOidNames[] = {
    {"1.2.840.113549.2.5", "md5"}, {"1.3.14.3.2.26", "sha1"}, {"2.16.840.1.101.3.4.2.1", "sha256"},
    {"2.16.840.1.101.3.4.2.2", "sha384"}, {"2.16.840.1.101.3.4.2.3", "sha512"},
    {"2.16.840.1.101.3.4.2.4", "sha224"}, {"1.2.840.113549.2.2", "md2"},
    {"1.2.840.113549", "RSA"}, {"1.2.840.113549.1", "PKCS"}, {"1.2.840.113549.2", "RSA_HASH"},
    {"1.2.840.113549.3", "RSA_ENCRYPT"},
    {"1.2.840.113549.1.1", "PKCS_1"}, {"1.2.840.113549.1.2", "PKCS_2"}, {"1.2.840.113549.1.3", "PKCS_3"},
    {"1.2.840.113549.1.4", "PKCS_4"}, {"1.2.840.113549.1.5", "PKCS_5"}, {"1.2.840.113549.1.6", "PKCS_6"},
    {"1.2.840.113549.1.7", "PKCS_7"}, {"1.2.840.113549.1.8", "PKCS_8"}, {"1.2.840.113549.1.9", "PKCS_9"},
    {"1.2.840.113549.1.10", "PKCS_10"}, {"1.2.840.113549.1.12", "PKCS_12"},
    {"1.2.840.113549.1.1.2", "RSA_MD2"}, {"1.2.840.113549.1.1.3", "RSA_MD4"},
    {"1.2.840.113549.1.1.4", "RSA_MD5"}, {"1.2.840.113549.1.1.1", "RSA_RSA"},
    {"1.2.840.113549.1.1.5", "RSA_SHA1RSA"}, {"1.2.840.113549.1.1.6", "RSA_SETOAEP_RSA"},
    {"1.2.840.113549.1.1.11", "RSA_SHA256RSA"}, {"1.2.840.113549.1.1.12", "RSA_SHA384RSA"},
    {"1.2.840.113549.1.1.13", "RSA_SHA512RSA"}, {"1.2.840.113549.1.1.14", "RSA_SHA224RSA"},
    {"1.2.840.113549.1.3.1", "RSA_DH"},
    {"1.2.840.113549.1.7.1", "RSA_data"}, {"1.2.840.113549.1.7.2", "RSA_signedData"},
    {"1.2.840.113549.1.7.3", "RSA_envelopedData"}, {"1.2.840.113549.1.7.4", "RSA_signEnvData"},
    {"1.2.840.113549.1.7.5", "RSA_digestedData"}, {"1.2.840.113549.1.7.6", "RSA_encryptedData"},
    {"1.2.840.113549.1.9.1", "RSA_emailAddr"}, {"1.2.840.113549.1.9.2", "RSA_unstructName"},
    {"1.2.840.113549.1.9.3", "RSA_contentType"}, {"1.2.840.113549.1.9.4", "RSA_messageDigest"},
    {"1.2.840.113549.1.9.5", "RSA_signingTime"}, {"1.2.840.113549.1.9.6", "RSA_counterSign"},
    {"1.2.840.113549.1.9.7", "RSA_challengePwd"}, {"1.2.840.113549.1.9.8", "RSA_unstructAddr"},
    {"1.2.840.113549.1.9.9", "RSA_extCertAttrs"}, {"1.2.840.113549.1.9.15", "RSA_SMIMECapabilities"},
    {"1.2.840.113549.1.9.15.1", "RSA_preferSignedData"},
    {"1.2.840.113549.3.2", "RSA_RC2CBC"}, {"1.2.840.113549.3.4", "RSA_RC4"},
    {"1.2.840.113549.3.7", "RSA_DES_EDE3_CBC"}, {"1.2.840.113549.3.9", "RSA_RC5_CBCPad"},
    {"1.2.840.10046", "ANSI_x942"}, {"1.2.840.10046.2.1", "ANSI_x942_DH"}, {"1.2.840.10040", "X957"},
    {"1.2.840.10040.4.1", "X957_DSA"}, {"1.2.840.10040.4.3", "DATA_STRUCTURE"},
    {"2.16.840.1.101.3.4.3.2", "dsa-with-sha256"},
    {"2.5", "DS"}, {"2.5.8", "DSALG"}, {"2.5.8.1", "DSALG_CRPT"}, {"2.5.8.2", "DSALG_HASH"},
    {"2.5.8.3", "DSALG_SIGN"}, {"2.5.8.1.1", "DSALG_RSA"},
    {"1.3.14", "OIW"}, {"1.3.14.3.2", "OIWSEC"},
    {"1.3.14.3.2.2", "OIWSEC_md4RSA"}, {"1.3.14.3.2.3", "OIWSEC_md5RSA"}, {"1.3.14.3.2.4", "OIWSEC_md4RSA2"},
    {"1.3.14.3.2.6", "OIWSEC_desECB"}, {"1.3.14.3.2.7", "OIWSEC_desCBC"}, {"1.3.14.3.2.8", "OIWSEC_desOFB"},
    {"1.3.14.3.2.9", "OIWSEC_desCFB"}, {"1.3.14.3.2.10", "OIWSEC_desMAC"}, {"1.3.14.3.2.11", "OIWSEC_rsaSign"},
    {"1.3.14.3.2.12", "OIWSEC_dsa"}, {"1.3.14.3.2.13", "OIWSEC_shaDSA"}, {"1.3.14.3.2.14", "OIWSEC_mdc2RSA"},
    {"1.3.14.3.2.15", "OIWSEC_shaRSA"}, {"1.3.14.3.2.16", "OIWSEC_dhCommMod"},
    {"1.3.14.3.2.17", "OIWSEC_desEDE"}, {"1.3.14.3.2.18", "OIWSEC_sha"}, {"1.3.14.3.2.19", "OIWSEC_mdc2"},
    {"1.3.14.3.2.20", "OIWSEC_dsaComm"}, {"1.3.14.3.2.21", "OIWSEC_dsaCommSHA"},
    {"1.3.14.3.2.22", "OIWSEC_rsaXchg"}, {"1.3.14.3.2.23", "OIWSEC_keyHashSeal"},
    {"1.3.14.3.2.24", "OIWSEC_md2RSASign"}, {"1.3.14.3.2.25", "OIWSEC_md5RSASign"},
    {"1.3.14.3.2.27", "OIWSEC_dsaSHA1"}, {"1.3.14.3.2.28", "OIWSEC_dsaCommSHA1"},
    {"1.3.14.3.2.29", "OIWSEC_sha1RSASign"},
    {"1.3.14.7.2", "OIWDIR"}, {"1.3.14.7.2.1", "OIWDIR_CRPT"}, {"1.3.14.7.2.2", "OIWDIR_HASH"},
    {"1.3.14.7.2.3", "OIWDIR_SIGN"}, {"1.3.14.7.2.2.1", "OIWDIR_md2"}, {"1.3.14.7.2.3.1", "OIWDIR_md2RSA"},
    {"2.16.840.1.101.2.1", "INFOSEC"},
    {"2.16.840.1.101.2.1.1.1", "INFOSEC_sdnsSignature"}, {"2.16.840.1.101.2.1.1.2", "INFOSEC_mosaicSignature"},
    {"2.16.840.1.101.2.1.1.3", "INFOSEC_sdnsConfidentiality"},
    {"2.16.840.1.101.2.1.1.4", "INFOSEC_mosaicConfidentiality"},
    {"2.16.840.1.101.2.1.1.5", "INFOSEC_sdnsIntegrity"}, {"2.16.840.1.101.2.1.1.6", "INFOSEC_mosaicIntegrity"},
    {"2.16.840.1.101.2.1.1.7", "INFOSEC_sdnsTokenProtection"},
    {"2.16.840.1.101.2.1.1.8", "INFOSEC_mosaicTokenProtection"},
    {"2.16.840.1.101.2.1.1.9", "INFOSEC_sdnsKeyManagement"},
    {"2.16.840.1.101.2.1.1.10", "INFOSEC_mosaicKeyManagement"},
    {"2.16.840.1.101.2.1.1.11", "INFOSEC_sdnsKMandSig"}, {"2.16.840.1.101.2.1.1.12", "INFOSEC_mosaicKMandSig"},
    {"2.16.840.1.101.2.1.1.13", "INFOSEC_SuiteASignature"},
    {"2.16.840.1.101.2.1.1.14", "INFOSEC_SuiteAConfidentiality"},
    {"2.16.840.1.101.2.1.1.15", "INFOSEC_SuiteAIntegrity"},
    {"2.16.840.1.101.2.1.1.16", "INFOSEC_SuiteATokenProtection"},
    {"2.16.840.1.101.2.1.1.17", "INFOSEC_SuiteAKeyManagement"},
    {"2.16.840.1.101.2.1.1.18", "INFOSEC_SuiteAKMandSig"},
    {"2.16.840.1.101.2.1.1.19", "INFOSEC_mosaicUpdatedSig"},
    {"2.16.840.1.101.2.1.1.20", "INFOSEC_mosaicKMandUpdSig"},
    {"2.16.840.1.101.2.1.1.21", "INFOSEC_mosaicUpdatedInteg"},
    {"2.16.840.1.101.3.4.1", "ALG_AES"}, {"2.16.840.1.101.3.4.1.2", "AES_128"},
    {"2.16.840.1.101.3.4.1.22", "AES_192"}, {"2.16.840.1.101.3.4.1.42", "AES_256"},
};

constexpr NamePair kNameOids[] = {
    {"md5", "1.2.840.113549.2.5"}, {"sha1", "1.3.14.3.2.26"},
    {"sha256", "2.16.840.1.101.3.4.2.1"}, {"sha-256", "2.16.840.1.101.3.4.2.1"},
    {"sha384", "2.16.840.1.101.3.4.2.2"}, {"sha-384", "2.16.840.1.101.3.4.2.2"},
    {"sha512", "2.16.840.1.101.3.4.2.3"}, {"sha-512", "2.16.840.1.101.3.4.2.3"},
    {"sha224", "2.16.840.1.101.3.4.2.4"}, {"sha-224", "2.16.840.1.101.3.4.2.4"},
    {"rc2", "1.2.840.113549.3.2"}, {"rc2cbc40", "1.2.840.113549.3.2"}, {"rc2cbc64", "1.2.840.113549.3.2"},
    {"rc2cbc128", "1.2.840.113549.3.2"}, {"md2", "1.2.840.113549.2.2"}, {"md2rsa", "1.2.840.113549.1.1.2"},
    {"md4rsa", "1.2.840.113549.1.1.3"}, {"md5rsa", "1.2.840.113549.1.1.4"}, {"sha1rsa", "1.2.840.113549.1.1.5"},
    {"rc2cbc", "1.2.840.113549.3.2"}, {"rc4", "1.2.840.113549.3.4"}, {"des", "1.3.14.3.2.7"},
    {"3des", "1.2.840.113549.3.7"}, {"descbc", "1.3.14.3.2.7"}, {"3descbc", "1.3.14.3.2.7"},
    {"des_ede3_cbc", "1.2.840.113549.3.7"}, {"aes", "2.16.840.1.101.3.4.1.2"},
    {"aescbc128", "2.16.840.1.101.3.4.1.2"}, {"aescbc192", "2.16.840.1.101.3.4.1.22"},
    {"aescbc256", "2.16.840.1.101.3.4.1.42"},
};

constexpr NamePair kSignatureHashes[] = {
    {"1.3.14.3.2.29", "SHA1"},          {"1.2.840.113549.1.1.2", "MD2"},     {"1.2.840.113549.1.1.3", "MD4"},
    {"1.2.840.113549.1.1.4", "MD5"},    {"1.2.840.113549.1.1.5", "SHA1"},    {"1.2.840.113549.1.1.11", "SHA256"},
    {"1.2.840.113549.1.1.12", "SHA384"}, {"1.2.840.113549.1.1.13", "SHA512"}, {"1.2.840.113549.1.1.14", "SHA224"},
    {"1.2.840.10045.4.1", "SHA1"},      {"1.2.840.10045.4.3.1", "SHA224"},   {"1.2.840.10045.4.3.2", "SHA256"},
    {"1.2.840.10045.4.3.3", "SHA384"},  {"1.2.840.10045.4.3.4", "SHA512"},
};

template <size_t N>
const char* Lookup(const NamePair (&table)[N], const char* key, bool ignoreCase) {
  if (key == nullptr || *key == '\0') return "";
  for (const NamePair& row : table) {
    if ((ignoreCase ? CompareNoCase(row.key, key) : std::strcmp(row.key, key)) == 0) return row.value;
  }
  return key;
}

bool IsIa5Attribute(const char* oid) {
  return std::strcmp(oid, "1.2.840.113549.1.9.1") == 0 || std::strcmp(oid, "0.9.2342.19200300.100.1.2.25") == 0 ||
         std::strcmp(oid, "0.9.2342.19200300.100.1.3") == 0 || std::strcmp(oid, "1.2.840.113549.1.9.2") == 0;
}

}  // namespace

const char* X509Codec::OidToName(const char* oid) { return Lookup(kOidNames, oid, false); }

const char* X509Codec::NameToOid(const char* name) { return Lookup(kNameOids, name, true); }

const char* X509Codec::SignatureOidToHash(const char* oid) { return Lookup(kSignatureHashes, oid, false); }

namespace {

// The short name of an attribute type's dotted OID, null when it has none.
const char* ShortNameOf(const ByteString& oid) {
  for (const NamePair& row : kShortNames) {
    if (oid.Equals(row.value)) return row.key;
  }
  return nullptr;
}

}  // namespace

int X509Codec::AttributeOidToShortName(const ByteString& oid, ByteString& out) {
  const char* name = ShortNameOf(oid);
  return name != nullptr ? out.Set(name) : out.Set(oid.Data(), oid.Length());
}

int X509Codec::ShortNameToAttributeOid(const char* name, ByteString& out) {
  if (name == nullptr) name = "";
  for (const NamePair& row : kShortNames) {
    if (std::strcmp(row.key, name) == 0) return out.Set(row.value);
  }
  return out.Set(name);
}

int X509Codec::DnPairsToText(const StringList& pairs, ByteString& text) {
  TORNELL_TRY(text.Clear());
  if (pairs.Count() % 2 != 0) return kX509BadNameText;
  ByteString oid;
  for (int i = 0; i < pairs.Count(); i += 2) {
    TORNELL_TRY(oid.Set(pairs.Get(i), pairs.EntryLength(i)));
    TORNELL_TRY(AppendDnPair(oid, pairs.Get(i + 1), pairs.EntryLength(i + 1), text));
  }
  return kStatusOk;
}

int X509Codec::AppendDnPair(const ByteString& oid, const void* value, int valueLength, ByteString& text) {
  if (!text.IsEmpty()) TORNELL_TRY(text.AppendByte(','));
  const char* name = ShortNameOf(oid);
  TORNELL_TRY(name != nullptr ? text.Append(name) : text.Append(oid));
  TORNELL_TRY(text.AppendByte('='));
  DerRun content;
  int tag = 0;
  TORNELL_TRY(DerContentAt(DerRunOf(value, size_t(valueLength > 0 ? valueLength : 0)), content, &tag));
  if (tag != 0x1E) return text.Append(reinterpret_cast<const char*>(content.at), content.Length());
  ByteString wide;
  TORNELL_TRY(wide.Set(content.at, content.Length()));
  TORNELL_TRY(wide.Utf16BeToUtf8());
  return text.Append(wide);
}

int X509Codec::DnTextToPairs(const char* text, StringList& pairs) {
  TORNELL_TRY(pairs.Clear());
  const char* at = text != nullptr ? text : "";
  while (*at != '\0') {
    const char* comma = std::strchr(at, ',');
    const char* end = comma != nullptr ? comma : at + std::strlen(at);
    const char* equals = static_cast<const char*>(std::memchr(at, '=', static_cast<size_t>(end - at)));
    if (equals == nullptr) return kX509BadNameText;
    ByteString name, oid;
    TORNELL_TRY(name.Set(at, static_cast<int>(equals - at)));
    TORNELL_TRY(ShortNameToAttributeOid(name.CStr(), oid));
    TORNELL_TRY(pairs.Add(oid.Data(), oid.Length()));
    TORNELL_TRY(pairs.Add(equals + 1, static_cast<int>(end - equals - 1)));
    at = comma != nullptr ? comma + 1 : end;
  }
  return kStatusOk;
}

int X509Codec::DecodeDistinguishedName(const ByteString& name, ByteString& text) {
  if (&name == &text) {
    // Read in place: the text must not overwrite the name being read.
    ByteString copy;
    TORNELL_TRY(copy.Assign(name));
    return walk::ReadDistinguishedName(DerRunOf(copy), text);
  }
  return walk::ReadDistinguishedName(DerRunOf(name), text);
}

int X509Codec::EncodeDistinguishedName(const char* text, DerWriter& writer) {
  StringList pairs;
  TORNELL_TRY(DnTextToPairs(text, pairs));
  if (pairs.Count() % 2 != 0) return kX509BadNameText;
  TORNELL_TRY(writer.OpenSequence());
  for (int i = 0; i < pairs.Count(); i += 2) {
    const char* oid = pairs.Get(i);
    const int tag = IsIa5Attribute(oid) ? 0x16 : 0x13;
    TORNELL_TRY(writer.OpenSet());
    TORNELL_TRY(writer.OpenSequence());
    TORNELL_TRY(writer.AppendOid(oid, 0x06));
    TORNELL_TRY(writer.AppendPrimitive(pairs.Get(i + 1), pairs.EntryLength(i + 1), tag));
    TORNELL_TRY(writer.CloseSequence());
    TORNELL_TRY(writer.CloseSet());
  }
  return writer.CloseSequence();
}

}  // namespace tornell::pki
