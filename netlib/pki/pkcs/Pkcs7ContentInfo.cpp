#include "pki/pkcs/Pkcs7ContentInfo.h"

#include <new>

#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/der/DerElement.h"
#include "pki/der/DerStatus.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

constexpr const char* kOidData = "1.2.840.113549.1.7.1";
constexpr const char* kOidSignedData = "1.2.840.113549.1.7.2";
constexpr const char* kOidEnvelopedData = "1.2.840.113549.1.7.3";
constexpr const char* kOidEncryptedData = "1.2.840.113549.1.7.6";
constexpr const char* kOidDesEde3Cbc = "1.2.840.113549.3.7";
constexpr int kUnusableScheme = 271;
constexpr int kTripleDes = 2;

template <typename T>
int Make(T*& record) {
  record = new (std::nothrow) T();
  return record == nullptr ? kStatusNoMemory : kStatusOk;
}

}  // namespace

int Pkcs7ContentInfo::Clear() {
  (void)contentType.Clear();
  (void)content.Clear();
  delete dataContent;
  dataContent = nullptr;
  delete envelopedData;
  envelopedData = nullptr;
  delete signedData;
  signedData = nullptr;
  delete encryptedDataContent;
  encryptedDataContent = nullptr;
  return kStatusOk;
}

int Pkcs7ContentInfo::Decode() {
  Clear();
  DerElement node;
  TORNELL_TRY(node.body.output.Assign(encodedText));
  TORNELL_TRY(node.body.output.Base64Decode());
  TORNELL_TRY(node.SplitChildren());
  if (node.childCount < 2) return kDerMissing;
  TORNELL_TRY(node.firstChild->body.ReadOid(0, contentType));
  TORNELL_TRY(node.firstChild->nextSibling->body.ReadElement(0, content));
  if (contentType.Equals(kOidData)) return Make(dataContent);
  if (contentType.Equals(kOidEncryptedData)) return Make(encryptedDataContent);
  if (contentType.Equals(kOidSignedData)) {
    TORNELL_TRY(Make(signedData));
    return X509Codec::ParseSignedData(content, *signedData);
  }
  if (contentType.Equals(kOidEnvelopedData)) {
    TORNELL_TRY(Make(envelopedData));
    return DecodeEnvelopedData(content, *envelopedData);
  }
  return kStatusOk;
}

int Pkcs7ContentInfo::DecryptEnvelopedData(RsaKey& key, Pkcs7ContentInfo& message, ByteString& out) {
  TORNELL_TRY(message.Decode());
  EnvelopedData* enveloped = message.envelopedData;
  if (enveloped == nullptr || enveloped->recipientInfos.Count() == 0) return kDerMissing;
  const KeyTransRecipientInfo* recipient = enveloped->recipientInfos.Get(0);
  if (recipient == nullptr) return kStatusNoMemory;
  RsaEngine rsa;
  TORNELL_TRY(rsa.SetKey(key));
  SecretBytes contentKey;
  TORNELL_TRY(rsa.DecryptPkcs1(recipient->encryptedKey.Data(), recipient->encryptedKey.Length(), contentKey));
  const EncryptedContentInfo& info = enveloped->encryptedContentInfo;
  if (!info.contentEncryptionAlgorithm.Equals(kOidDesEde3Cbc)) return kUnusableScheme;
  SymmetricCipher cipher;
  TORNELL_TRY(cipher.SetAlgorithm(kTripleDes));
  TORNELL_TRY(cipher.SetMode(CipherMode::CBC));
  TORNELL_TRY(cipher.SetPadding(CipherPadding::PKCS7));
  TORNELL_TRY(cipher.InitDecrypt(contentKey.Data(), contentKey.Length(), info.contentEncryptionParameters.Data(),
                                 info.contentEncryptionParameters.Length()));
  ByteString plain;
  TORNELL_TRY(cipher.Final(info.encryptedContent.Data(), 0, info.encryptedContent.Length(), plain));
  return out.Assign(plain);
}

}  // namespace tornell::pki
