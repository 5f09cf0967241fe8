// The signature check of one certificate against its issuer's key.
#include <cstring>

#include "core/base/Status.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/dsa/DsaEngine.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/rsa/RsaEngine.h"
#include "pki/keys/KeyCodec.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

constexpr int kStatusIssuerKeyUnsupported = 508;

// DSA signatures name their hash in the algorithm OID; null for one this
// check does not know.
const char* DsaSignatureHash(const ByteString& oid) {
  if (oid.Equals("1.2.840.10040.4.3")) return "SHA1";
  if (oid.Equals("2.16.840.1.101.3.4.3.1")) return "SHA224";
  if (oid.Equals("2.16.840.1.101.3.4.3.2")) return "SHA256";
  return nullptr;
}

int DecodeCertificate(const char* text, int length, X509Certificate& out) {
  TORNELL_TRY(out.encoded.Set(text, length));
  // DER passes unchanged (the PEM decoder reads up to a NUL, which DER holds).
  if (out.encoded.Contains("-----BEGIN ")) {
    SecretBytes der;
    TORNELL_TRY(KeyCodec::PemDecode(out.encoded.CStr(), "CERTIFICATE", der, nullptr));
    TORNELL_TRY(out.encoded.Set(der.Data(), der.Length()));
  }
  return out.Decode();
}

int VerifyWithKey(const ByteString& data, const ByteString& signature, const char* hashName, RsaKey* rsaKey,
                  DsaKey* dsaKey, EcKey* ecKey, int& valid) {
  valid = 0;
  if (rsaKey != nullptr) {
    RsaEngine engine;
    TORNELL_TRY(engine.SetKey(*rsaKey));
    return engine.VerifyHash(data.Data(), data.Length(), hashName, signature.Data(), signature.Length(), valid, 0,
                             0, 1);
  }
  if (dsaKey != nullptr) {
    DsaEngine engine;
    TORNELL_TRY(engine.SetKey(*dsaKey));
    return engine.VerifyHash(data.Data(), data.Length(), signature.Data(), signature.Length(), valid);
  }
  EccEngine engine;
  TORNELL_TRY(engine.SetKey(*ecKey));
  return engine.VerifyHash(data.Data(), data.Length(), signature.Data(), signature.Length(), valid);
}

}  // namespace

int KeyCodec::HashByName(const void* data, int length, const char* hashName, ByteString& out) {
  HashContext hash;
  TORNELL_TRY(hash.SetAlgorithm(hashName));
  return hash.Digest(static_cast<const char*>(data), length, out);
}

int KeyCodec::VerifySignature(const ByteString& data, const ByteString& signature, const char* hashName,
                              RsaKey* rsaKey, DsaKey* dsaKey, EcKey* ecKey) {
  if (rsaKey == nullptr && dsaKey == nullptr && ecKey == nullptr) return kStatusFailed;
  ByteString digest;
  const bool hashed = hashName != nullptr && *hashName != '\0';
  if (hashed) TORNELL_TRY(HashByName(data.Data(), data.Length(), hashName, digest));
  int valid = 0;
  TORNELL_TRY(VerifyWithKey(hashed ? digest : data, signature, hashName != nullptr ? hashName : "", rsaKey, dsaKey,
                            ecKey, valid));
  return valid == 1 ? kStatusOk : kStatusFailed;
}

int KeyCodec::VerifyCertificateSignature(const X509Certificate& certificate, const X509Certificate& issuer) {
  const char* algorithm = issuer.GetKeyAlgorithm();
  const bool rsa = std::strcmp(algorithm, "RSA") == 0;
  const bool dsa = std::strcmp(algorithm, "DSA") == 0;
  const bool ec = std::strcmp(algorithm, "IdEcPublicKey") == 0;
  if (!rsa && !dsa && !ec) return kStatusIssuerKeyUnsupported;
  // The BIT STRING keeps its unused-bits count, which a signature must have
  // as 0.
  const ByteString& bits = certificate.signatureValue;
  if (bits.Length() < 1 || bits.ByteAt(0) != 0) return kStatusFailed;
  ByteString signature;
  TORNELL_TRY(signature.Set(bits.Data() + 1, bits.Length() - 1));
  const ByteString& oid = certificate.signatureAlgorithm.oid;
  const char* hashName = dsa ? DsaSignatureHash(oid) : X509Codec::SignatureOidToHash(oid.CStr());
  if (hashName == nullptr) return kStatusFailed;
  if (rsa) {
    RsaKey key;
    TORNELL_TRY(issuer.GetRsaKey(key));
    return VerifySignature(certificate.tbsEncoded, signature, hashName, &key, nullptr, nullptr);
  }
  if (dsa) {
    DsaKey key;
    TORNELL_TRY(issuer.GetDsaKey(key));
    return VerifySignature(certificate.tbsEncoded, signature, hashName, nullptr, &key, nullptr);
  }
  EcKey key;
  TORNELL_TRY(issuer.GetEcKey(key));
  return VerifySignature(certificate.tbsEncoded, signature, hashName, nullptr, nullptr, &key);
}

int KeyCodec::VerifyCertificateSignature(const char* certificate, int certificateLength, const char* issuer,
                                         int issuerLength) {
  X509Certificate subjectRecord, issuerRecord;
  TORNELL_TRY(DecodeCertificate(certificate, certificateLength, subjectRecord));
  TORNELL_TRY(DecodeCertificate(issuer, issuerLength, issuerRecord));
  return VerifyCertificateSignature(subjectRecord, issuerRecord);
}

}  // namespace tornell::pki
