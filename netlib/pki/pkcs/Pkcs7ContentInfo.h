#pragma once
// A PKCS#7 / CMS ContentInfo given as Base64 text, decoded into the record
// of its content type, and the decryption of enveloped data with an RSA key
// (PKCS#1 v1.5) and triple DES.
#include "core/text/ByteString.h"
#include "crypto/rsa/RsaKey.h"
#include "pki/x509/CmsRecords.h"

namespace tornell::pki {

// The content types whose body is not decoded (data, encryptedData).
struct Pkcs7EmptyContent {};

class Pkcs7ContentInfo {
 public:
  Pkcs7ContentInfo() = default;
  virtual ~Pkcs7ContentInfo() { Clear(); }
  Pkcs7ContentInfo(const Pkcs7ContentInfo&) = delete;
  Pkcs7ContentInfo& operator=(const Pkcs7ContentInfo&) = delete;

  // Reads encodedText; an unknown content type leaves every record null.
  [[nodiscard]] virtual int Decode();
  int Clear();

  // content: the complete EnvelopedData element. Each recipient starts from
  // a fresh record, so no field carries over from the one before.
  [[nodiscard]] static int DecodeEnvelopedData(const ByteString& content, EnvelopedData& out);
  [[nodiscard]] static int DecodeKeyTransRecipientInfo(const ByteString& element, KeyTransRecipientInfo& out);
  // Decodes the message and decrypts its content for the first recipient.
  // 447 when it is not enveloped data or has no recipient, 271 for a content
  // cipher other than DES-EDE3-CBC; out changes only on success.
  [[nodiscard]] static int DecryptEnvelopedData(RsaKey& key, Pkcs7ContentInfo& message, ByteString& out);

  ByteString encodedText;
  ByteString contentType;
  ByteString content;
  Pkcs7EmptyContent* dataContent = nullptr;
  EnvelopedData* envelopedData = nullptr;
  SignedData* signedData = nullptr;
  Pkcs7EmptyContent* encryptedDataContent = nullptr;
};

}  // namespace tornell::pki
