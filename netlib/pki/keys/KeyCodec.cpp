#include "pki/keys/KeyCodec.h"

#include <initializer_list>

#include <cstring>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"
#include "crypto/cipher/engine/SymmetricCipher.h"
#include "crypto/digest/kdf/PasswordKeyDeriver.h"
#include "crypto/ecc/edwards/EdDsa.h"
#include "crypto/random/RandomSource.h"
#include "pki/der/DerWriter.h"
#include "pki/x509/DsaPublicValue.h"
#include "pki/x509/KeyInfo.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

constexpr const char* kOidRsa = "1.2.840.113549.1.1.1";
constexpr const char* kOidDsa = "1.2.840.10040.4.1";
constexpr const char* kOidEcPublicKey = "1.2.840.10045.2.1";
constexpr const char* kOidPbes2 = "1.2.840.113549.1.5.13";
constexpr const char* kOidPbkdf2 = "1.2.840.113549.1.5.12";
constexpr const char* kOidDesEde3Cbc = "1.2.840.113549.3.7";
constexpr int kTagSequence = 0x30;
constexpr int kTagOctetString = 0x04;
constexpr int kPbkdf2Iterations = 2048;

struct Curve {
  const char* oid;
  int width;
};
constexpr Curve kCurves[] = {{"1.2.840.10045.3.1.7", 32}, {"1.3.132.0.34", 48}, {"1.3.132.0.35", 66}};

// y = g^x mod p comes at p's width; the key holds it without leading zeros.
int ComputeDsaY(const ByteString& p, const ByteString& g, const ByteString& x, ByteString& y) {
  TORNELL_TRY(DsaPublicValue(p, g, x, y));
  int zeros = 0;
  while (zeros + 1 < y.Length() && y.ByteAt(zeros) == 0) ++zeros;
  return y.EraseFront(zeros);
}

// A DER buffer that may hold key material: wiped when done.
class ScratchDer : public DerWriter {
 public:
  ~ScratchDer() { SecureWipe(output.Data(), static_cast<size_t>(output.Length())); }
};

int Load(ScratchDer& w, const void* der, int length) {
  if (length < 0 || (der == nullptr && length > 0)) return kDerMissing;
  return w.output.Set(der, length);
}

int Finish(const DerWriter& w, int pem, const char* label, ByteString& out) {
  if (pem != 0) return KeyCodec::PemEncode(w.output.Data(), w.output.Length(), label, out);
  return out.Set(w.output.Data(), w.output.Length());
}

int AppendIfAny(DerWriter& w, const ByteString& value) {
  if (value.IsEmpty()) return kStatusOk;
  return w.AppendIntegerBytes(value.Data(), value.Length());
}

int AppendField(DerWriter& w, const ByteString& value) { return w.AppendIntegerBytes(value.Data(), value.Length()); }

struct CipherChoice {
  int algorithm;
  int mode;
  int keyLength;
};

int ChooseCipher(const char* name, CipherChoice& c) {
  c = {2, CipherMode::CBC, 24};
  if (name == nullptr || *name == '\0' || std::strcmp(name, "DES-EDE3-CBC") == 0 || std::strcmp(name, "3des-cbc") == 0)
    return kStatusOk;
  if (std::strcmp(name, "DES-EDE3-CFB") == 0) {
    c.mode = CipherMode::CFB;
    return kStatusOk;
  }
  if (std::strcmp(name, "AES-128-CBC") == 0) {
    c = {0, CipherMode::CBC, 16};
    return kStatusOk;
  }
  if (std::strcmp(name, "AES-256-CBC") == 0) {
    c = {0, CipherMode::CBC, 32};
    return kStatusOk;
  }
  return kKeyUnknownName;
}

int PasswordCipher(bool encrypt, const void* data, int length, const SecretBytes& password, const char* cipherName,
                   const void* salt, int saltLength, const char* hashName, int iterations, const void* iv,
                   int ivLength, ByteString& out) {
  CipherChoice choice{};
  TORNELL_TRY(ChooseCipher(cipherName, choice));
  if (length < 0 || saltLength < 0 || (data == nullptr && length > 0) || (salt == nullptr && saltLength > 0))
    return kDerMissing;
  const char* hash = hashName != nullptr && *hashName != '\0' ? hashName : "MD5";
  ByteString lower;
  TORNELL_TRY(lower.Set(hash));
  lower.ToLower();
  // PBKDF2 takes the whole salt; only bytes-to-key is cut to 8 bytes.
  const int useSalt = lower.Find("hmac") >= 0 ? saltLength : (saltLength < 8 ? saltLength : 8);
  SecretBytes derived;
  PasswordKeyDeriver deriver;
  TORNELL_TRY(deriver.DeriveBytes(iterations, hash, password.CStr(), static_cast<const char*>(salt), useSalt,
                                  choice.keyLength + 8, 0, derived));
  SymmetricCipher cipher;
  TORNELL_TRY(cipher.SetAlgorithm(choice.algorithm));
  TORNELL_TRY(cipher.SetMode(choice.mode));
  TORNELL_TRY(cipher.SetPadding(encrypt ? CipherPadding::PKCS7 : CipherPadding::None));
  const bool ownIv = iv != nullptr && ivLength >= 1;
  const char* useIv = static_cast<const char*>(ownIv ? iv : salt);
  const int useIvLength = ownIv ? ivLength : saltLength;
  if (encrypt) {
    TORNELL_TRY(cipher.InitEncrypt(derived.Data(), choice.keyLength, useIv, useIvLength));
  } else {
    TORNELL_TRY(cipher.InitDecrypt(derived.Data(), choice.keyLength, useIv, useIvLength));
  }
  SecretBytes result;
  TORNELL_TRY(cipher.Final(static_cast<const char*>(data), 0, length, result));
  if (!encrypt && choice.mode == CipherMode::CBC) {
    TORNELL_TRY(CheckBlockPadding(result.Bytes(), result.Length(), choice.algorithm == 0 ? 16 : 8));
  }
  return out.Set(result.Data(), result.Length());
}

// Element n of a DER content with its tag; kDerMissing when absent.
int Element(const ByteString& content, int n, ByteString& out, int& tag) {
  ScratchDer w;
  TORNELL_TRY(w.output.Set(content.Data(), content.Length()));
  return w.ReadElement(n, out, &tag);
}

int PrivateKeyInfoOf(const ByteString& der, KeyInfo& info) {
  return X509Codec::ParsePrivateKeyInfo(der.Data(), der.Length(), info);
}

// RSA, DSA or PKCS#8 private-key PEM to DER, without a password.
int DecodeAnyPrivateKey(const char* text, SecretBytes& der) {
  int status = kKeyFormatNotFound;
  for (const char* label : {"RSA PRIVATE KEY", "DSA PRIVATE KEY", "PRIVATE KEY"}) {
    status = KeyCodec::PemDecode(text, label, der, nullptr);
    if (status == kStatusOk) break;
  }
  return status;
}

}  // namespace

int KeyCodec::AppendHex(const void* bytes, int length, int upperCase, ByteString& out) {
  const char* digits = upperCase != 0 ? "0123456789ABCDEF" : "0123456789abcdef";
  const auto* b = static_cast<const unsigned char*>(bytes);
  for (int i = 0; i < length; ++i) {
    TORNELL_TRY(out.AppendByte(digits[b[i] >> 4]));
    TORNELL_TRY(out.AppendByte(digits[b[i] & 15]));
  }
  return kStatusOk;
}

int KeyCodec::RandomBytes(int count, ByteString& out) {
  TORNELL_TRY(out.Resize(count < 0 ? 0 : count));
  RandomSource random;
  random.Fill(out.Bytes(), 0, out.Length());
  return kStatusOk;
}

int KeyCodec::PemEncode(const void* data, int length, const char* label, ByteString& out) {
  TextArmor t;
  TORNELL_TRY(t.EncodePem(label, data, length));
  return out.Set(t.Data(), t.Length());
}

int KeyCodec::PemEncode(const void* data, int length, const char* label, int dashCount, int lineLength,
                        const char* headers, ByteString& out) {
  TextArmor t;
  TORNELL_TRY(t.EncodeArmor(label, data, length, dashCount, lineLength, headers));
  return out.Set(t.Data(), t.Length());
}

int KeyCodec::PemDecode(const char* text, const char* label, SecretBytes& out, const SecretBytes* password) {
  SecretBytes none;
  TextArmor t;
  const int length = text != nullptr ? static_cast<int>(std::strlen(text)) : 0;
  TORNELL_TRY(KeyFileFormats::DecodePem(t, label, text, length, password != nullptr ? *password : none, 1));
  return out.Set(t.Data(), t.Length());
}

int KeyCodec::PasswordEncrypt(const void* data, int length, const SecretBytes& password, const char* cipherName,
                              const void* salt, int saltLength, const char* hashName, int iterations, const void* iv,
                              int ivLength, ByteString& out) {
  return PasswordCipher(true, data, length, password, cipherName, salt, saltLength, hashName, iterations, iv, ivLength,
                        out);
}

int KeyCodec::PasswordEncrypt(const void* data, int length, const SecretBytes& password, const void* salt,
                              int saltLength, ByteString& out) {
  return PasswordEncrypt(data, length, password, "", salt, saltLength, nullptr, 0, nullptr, 0, out);
}

int KeyCodec::PasswordDecrypt(const void* data, int length, const SecretBytes& password, const char* cipherName,
                              const void* salt, int saltLength, const char* hashName, int iterations, const void* iv,
                              int ivLength, SecretBytes& out) {
  return PasswordCipher(false, data, length, password, cipherName, salt, saltLength, hashName, iterations, iv, ivLength,
                        out);
}

int KeyCodec::WriteRsaPkcs1(const RsaKey& key, int pem, ByteString& out) {
  const bool isPrivate = !key.d.IsEmpty() || (!key.p.IsEmpty() && !key.q.IsEmpty());
  ScratchDer w;
  if (isPrivate) TORNELL_TRY(w.AppendInteger(0));
  for (const ByteString* field : std::initializer_list<const ByteString*>{&key.n, &key.e, &key.d, &key.p, &key.q, &key.dP, &key.dQ, &key.qInv}) {
    TORNELL_TRY(AppendIfAny(w, *field));
  }
  TORNELL_TRY(w.WrapAllMinimal(kTagSequence));
  return Finish(w, pem, isPrivate ? "RSA PRIVATE KEY" : "RSA PUBLIC KEY", out);
}

int KeyCodec::WriteDsaTraditional(DsaKey& key, int pem, ByteString& out) {
  const bool isPrivate = !key.x.IsEmpty();
  ScratchDer w;
  if (isPrivate) TORNELL_TRY(w.AppendInteger(0));
  TORNELL_TRY(AppendIfAny(w, key.p));
  TORNELL_TRY(AppendIfAny(w, key.q));
  TORNELL_TRY(AppendIfAny(w, key.g));
  if (key.y.IsEmpty() && isPrivate) TORNELL_TRY(ComputeDsaY(key.p, key.g, key.x, key.y));
  TORNELL_TRY(AppendIfAny(w, key.y));
  TORNELL_TRY(AppendIfAny(w, key.x));
  TORNELL_TRY(w.WrapAllMinimal(kTagSequence));
  return Finish(w, pem, isPrivate ? "DSA PRIVATE KEY" : "DSA PUBLIC KEY", out);
}

int KeyCodec::WriteRsaPkcs8(const RsaKey& key, int pem, ByteString& out) {
  const bool isPrivate = !key.d.IsEmpty() || (!key.p.IsEmpty() && !key.q.IsEmpty());
  SecretBytes inner;
  TORNELL_TRY(WriteRsaPkcs1(key, 0, inner));
  ScratchDer w;
  if (isPrivate) TORNELL_TRY(w.AppendInteger(0));
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(kOidRsa));
  TORNELL_TRY(w.AppendNull());
  TORNELL_TRY(w.Close());
  if (isPrivate) {
    TORNELL_TRY(w.AppendPrimitive(inner.Data(), inner.Length(), kTagOctetString));
  } else {
    TORNELL_TRY(w.AppendBitString(inner.Data(), inner.Length()));
  }
  TORNELL_TRY(w.WrapAllMinimal(kTagSequence));
  return Finish(w, pem, isPrivate ? "PRIVATE KEY" : "PUBLIC KEY", out);
}

int KeyCodec::WriteDsaPkcs8(const DsaKey& key, int pem, ByteString& out) {
  const bool isPrivate = !key.x.IsEmpty();
  ScratchDer w;
  if (isPrivate) TORNELL_TRY(w.AppendInteger(0));
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(kOidDsa));
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(AppendField(w, key.p));
  TORNELL_TRY(AppendField(w, key.q));
  TORNELL_TRY(AppendField(w, key.g));
  TORNELL_TRY(w.Close());
  TORNELL_TRY(w.Close());
  ScratchDer value;
  TORNELL_TRY(AppendField(value, isPrivate ? key.x : key.y));
  if (isPrivate) {
    TORNELL_TRY(w.AppendPrimitive(value.output.Data(), value.output.Length(), kTagOctetString));
  } else {
    TORNELL_TRY(w.AppendBitString(value.output.Data(), value.output.Length()));
  }
  TORNELL_TRY(w.WrapAllMinimal(kTagSequence));
  return Finish(w, pem, isPrivate ? "PRIVATE KEY" : "PUBLIC KEY", out);
}

int KeyCodec::WriteEcKey(const EcKey& key, int pem, ByteString& out, int publicOnly) {
  const bool isPrivate = publicOnly == 0 && key.HasPrivateKey();
  const bool named = key.curveIndex >= 0 && key.curveIndex <= 2;
  const int width = named ? kCurves[key.curveIndex].width : 32;
  ByteString point, x, y;
  TORNELL_TRY(point.AppendByte(0x04));
  TORNELL_TRY(EcKey::FitToWidth(key.X.Data(), key.X.Length(), width, x));
  TORNELL_TRY(EcKey::FitToWidth(key.Y.Data(), key.Y.Length(), width, y));
  TORNELL_TRY(point.Append(x));
  TORNELL_TRY(point.Append(y));
  ScratchDer w;
  TORNELL_TRY(w.OpenSequence());
  if (isPrivate) TORNELL_TRY(w.AppendInteger(0));
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(kOidEcPublicKey));
  if (named) TORNELL_TRY(w.AppendOid(kCurves[key.curveIndex].oid));
  TORNELL_TRY(w.Close());
  if (isPrivate) {
    TORNELL_TRY(w.Open(kTagOctetString));
    TORNELL_TRY(w.OpenSequence());
    TORNELL_TRY(w.AppendInteger(1));
    TORNELL_TRY(w.AppendPrimitive(key.D.Data(), key.D.Length(), kTagOctetString));
    if (!key.X.IsEmpty() && !key.Y.IsEmpty()) {
      TORNELL_TRY(w.Open(0xA1));
      TORNELL_TRY(w.AppendBitString(point.Data(), point.Length()));
      TORNELL_TRY(w.Close());
    }
    TORNELL_TRY(w.Close());
    TORNELL_TRY(w.Close());
  } else {
    TORNELL_TRY(w.AppendBitString(point.Data(), point.Length()));
  }
  TORNELL_TRY(w.Close());
  return Finish(w, pem, isPrivate ? "EC PRIVATE KEY" : "EC PUBLIC KEY", out);
}

int KeyCodec::WriteEdwardsKey(const EcKey& key, int pem, ByteString& out, int publicOnly) {
  if (!key.IsEdwardsKey()) return kKeyOtherType;
  const bool isPrivate = publicOnly == 0 && key.HasPrivateKey();
  ScratchDer w;
  TORNELL_TRY(w.OpenSequence());
  // RFC 8410: version 0 and the private key as an OCTET STRING inside the
  // OCTET STRING; no public key, which every reader derives.
  if (isPrivate) TORNELL_TRY(w.AppendInteger(0));
  TORNELL_TRY(w.OpenSequence());
  TORNELL_TRY(w.AppendOid(key.curveIndex == eckeycurve::kEd25519 ? "1.3.101.112" : "1.3.101.113"));
  TORNELL_TRY(w.Close());
  if (isPrivate) {
    TORNELL_TRY(w.Open(kTagOctetString));
    TORNELL_TRY(w.AppendPrimitive(key.edPrivate.Data(), key.edPrivate.Length(), kTagOctetString));
    TORNELL_TRY(w.Close());
  } else {
    TORNELL_TRY(w.AppendBitString(key.edPublic.Data(), key.edPublic.Length()));
  }
  TORNELL_TRY(w.Close());
  return Finish(w, pem, isPrivate ? "PRIVATE KEY" : "PUBLIC KEY", out);
}

int KeyCodec::WriteStoreKey(CertificateStore& store, int pem, ByteString& out, int publicOnly) {
  switch (store.GetKeyType()) {
    case kKeyTypeRsa: {
      RsaKey key;
      TORNELL_TRY(store.GetRsaKey(key, publicOnly));
      if (publicOnly == 0) return WriteRsaPkcs8(key, pem, out);
      RsaKey pub;
      TORNELL_TRY(pub.n.Set(key.n.Data(), key.n.Length()));
      TORNELL_TRY(pub.e.Set(key.e.Data(), key.e.Length()));
      return WriteRsaPkcs8(pub, pem, out);
    }
    case kKeyTypeDsa: {
      DsaKey key;
      TORNELL_TRY(store.GetDsaKey(key, publicOnly));
      if (publicOnly != 0) key.x.Clear();
      return WriteDsaPkcs8(key, pem, out);
    }
    case kKeyTypeEc: {
      EcKey key;
      TORNELL_TRY(store.GetEcKey(key, publicOnly));
      return WriteEcKey(key, pem, out, publicOnly);
    }
    case kKeyTypeEdDsa: {
      EcKey key;
      TORNELL_TRY(store.GetEcKey(key, publicOnly));
      return WriteEdwardsKey(key, pem, out, publicOnly);
    }
    default:
      return kKeyOtherType;
  }
}

int KeyCodec::WriteEncryptedPkcs8(const void* der, int length, const SecretBytes& password, ByteString& out) {
  ByteString salt, iv, encrypted;
  TORNELL_TRY(RandomBytes(8, salt));
  TORNELL_TRY(RandomBytes(8, iv));
  TORNELL_TRY(PasswordEncrypt(der, length, password, "DES-EDE3-CBC", salt.Data(), salt.Length(), "hmacsha1",
                              kPbkdf2Iterations, iv.Data(), iv.Length(), encrypted));
  DerWriter params;
  TORNELL_TRY(params.AppendPrimitive(salt.Data(), salt.Length(), kTagOctetString));
  TORNELL_TRY(params.AppendInteger(kPbkdf2Iterations));
  TORNELL_TRY(params.WrapAll(kTagSequence));
  DerWriter kdf;
  TORNELL_TRY(kdf.AppendOid(kOidPbkdf2));
  TORNELL_TRY(kdf.output.Append(params.output));
  TORNELL_TRY(kdf.WrapAll(kTagSequence));
  DerWriter scheme;
  TORNELL_TRY(scheme.AppendOid(kOidDesEde3Cbc));
  TORNELL_TRY(scheme.AppendPrimitive(iv.Data(), iv.Length(), kTagOctetString));
  TORNELL_TRY(scheme.WrapAll(kTagSequence));
  DerWriter pbes2;
  TORNELL_TRY(pbes2.output.Append(kdf.output));
  TORNELL_TRY(pbes2.output.Append(scheme.output));
  TORNELL_TRY(pbes2.WrapAll(kTagSequence));
  DerWriter algorithm;
  TORNELL_TRY(algorithm.AppendOid(kOidPbes2));
  TORNELL_TRY(algorithm.output.Append(pbes2.output));
  TORNELL_TRY(algorithm.WrapAll(kTagSequence));
  DerWriter top;
  TORNELL_TRY(top.output.Append(algorithm.output));
  TORNELL_TRY(top.AppendPrimitive(encrypted.Data(), encrypted.Length(), kTagOctetString));
  TORNELL_TRY(top.WrapAll(kTagSequence));
  return PemEncode(top.output.Data(), top.output.Length(), "ENCRYPTED PRIVATE KEY", out);
}

int KeyCodec::WriteEncryptedPem(const void* der, int length, const char* label, const SecretBytes& password,
                                ByteString& out) {
  ByteString iv, encrypted, headers;
  TORNELL_TRY(RandomBytes(8, iv));
  TORNELL_TRY(PasswordEncrypt(der, length, password, iv.Data(), iv.Length(), encrypted));
  TORNELL_TRY(headers.Append("Proc-Type: 4,ENCRYPTED\r\nDEK-Info: DES-EDE3-CBC,"));
  TORNELL_TRY(AppendHex(iv.Data(), iv.Length(), 1, headers));
  TORNELL_TRY(headers.Append("\r\n\r\n"));
  return PemEncode(encrypted.Data(), encrypted.Length(), label, 5, 64, headers.CStr(), out);
}

int KeyCodec::ExportTraditionalPem(const char* text, const SecretBytes* password, ByteString& out) {
  SecretBytes der;
  TORNELL_TRY(DecodeAnyPrivateKey(text, der));
  KeyInfo info;
  TORNELL_TRY(PrivateKeyInfoOf(der, info));
  const bool encrypt = password != nullptr && !password->IsEmpty();
  SecretBytes inner;
  const char* label = nullptr;
  if (info.IsRsa()) {
    label = "RSA PRIVATE KEY";
    TORNELL_TRY(WriteRsaPkcs1(info.rsaKey, encrypt ? 0 : 1, inner));
  } else if (info.IsDsa()) {
    label = "DSA PRIVATE KEY";
    TORNELL_TRY(WriteDsaTraditional(info.dsaKey, encrypt ? 0 : 1, inner));
  } else {
    // EC and Edwards keys have no traditional form here.
    return kKeyOtherType;
  }
  if (!encrypt) return out.Set(inner.Data(), inner.Length());
  return WriteEncryptedPem(inner.Data(), inner.Length(), label, *password, out);
}

int KeyCodec::ExportPkcs8Pem(const char* text, const SecretBytes* password, ByteString& out) {
  SecretBytes der;
  TORNELL_TRY(DecodeAnyPrivateKey(text, der));
  KeyInfo info;
  if (PrivateKeyInfoOf(der, info) != kStatusOk) return kKeyFormatNotFound;
  if (password != nullptr && !password->IsEmpty()) return WriteEncryptedPkcs8(der.Data(), der.Length(), *password, out);
  return PemEncode(der.Data(), der.Length(), "PRIVATE KEY", out);
}

int KeyCodec::ReadRsaPrivateKey(const void* der, int length, TextArmor& blob, RsaKey& key) {
  ScratchDer w;
  TORNELL_TRY(Load(w, der, length));
  TORNELL_TRY(w.Unwrap(nullptr));
  SecretBytes version;
  TORNELL_TRY(w.ReadElement(0, version));
  TORNELL_TRY(w.ReadElement(1, key.n));
  TORNELL_TRY(w.ReadElement(2, key.e));
  TORNELL_TRY(w.ReadIntegerBytes(3, key.d));
  TORNELL_TRY(w.ReadIntegerBytes(4, key.p));
  TORNELL_TRY(w.ReadIntegerBytes(5, key.q));
  TORNELL_TRY(w.ReadIntegerBytes(6, key.dP));
  TORNELL_TRY(w.ReadIntegerBytes(7, key.dQ));
  TORNELL_TRY(w.ReadIntegerBytes(8, key.qInv));
  uint64_t e = 0;
  TORNELL_TRY(w.ReadUnsigned(2, e));
  const unsigned char e32[4] = {static_cast<unsigned char>(e >> 24), static_cast<unsigned char>(e >> 16),
                                static_cast<unsigned char>(e >> 8), static_cast<unsigned char>(e)};
  ByteString exponent;
  TORNELL_TRY(exponent.Set(e32, 4));
  return KeyFileFormats::WriteRsaBlob(blob, key.n, exponent, key.p, key.q, key.dP, key.dQ, key.qInv, key.d);
}

int KeyCodec::ReadDsaPrivateKey(const void* der, int length, TextArmor& blob, DsaKey& key) {
  ScratchDer w;
  TORNELL_TRY(Load(w, der, length));
  TORNELL_TRY(w.Unwrap(nullptr));
  ByteString ignored, first, p, q, g, y, oid;
  SecretBytes x, next;
  int tag = 0;
  TORNELL_TRY(w.ReadElement(0, ignored));
  TORNELL_TRY(w.ReadElement(1, first, &tag));
  int at = 4;
  if ((tag & 0x10) != 0) {
    // PKCS#8: AlgorithmIdentifier { OID, Dss-Parms { p, q, g } }.
    ScratchDer alg;
    TORNELL_TRY(alg.output.Set(first.Data(), first.Length()));
    TORNELL_TRY(alg.ReadOid(0, oid));
    ByteString params;
    TORNELL_TRY(alg.ReadElement(1, params));
    int t = 0;
    TORNELL_TRY(Element(params, 0, p, t));
    TORNELL_TRY(Element(params, 1, q, t));
    TORNELL_TRY(Element(params, 2, g, t));
    at = 2;
  } else {
    TORNELL_TRY(p.Set(first.Data(), first.Length()));
    TORNELL_TRY(w.ReadElement(2, q));
    TORNELL_TRY(w.ReadElement(3, g));
  }
  TORNELL_TRY(w.ReadElement(at, next, &tag));
  if ((tag & 0x04) != 0) {
    int t = 0;
    TORNELL_TRY(Element(next, 0, x, t));
    TORNELL_TRY(ComputeDsaY(p, g, x, y));
  } else {
    TORNELL_TRY(y.Set(next.Data(), next.Length()));
    TORNELL_TRY(w.ReadElement(at + 1, x));
  }
  TORNELL_TRY(key.p.Set(p.Data(), p.Length()));
  TORNELL_TRY(key.q.Set(q.Data(), q.Length()));
  TORNELL_TRY(key.g.Set(g.Data(), g.Length()));
  TORNELL_TRY(key.y.Set(y.Data(), y.Length()));
  TORNELL_TRY(key.x.Set(x.Data(), x.Length()));
  return KeyFileFormats::WriteDssBlob(blob, key.p, key.q, key.g, key.y, key.x);
}

int KeyCodec::ReadEcPrivateKey(const void* der, int length, TextArmor& blob, EcKey& key, ByteString& errorText) {
  ScratchDer w;
  TORNELL_TRY(Load(w, der, length));
  TORNELL_TRY(w.Unwrap(nullptr));
  ByteString ignored, curveOid, publicKey;
  SecretBytes first, d;
  int tag = 0;
  TORNELL_TRY(w.ReadElement(0, ignored));
  TORNELL_TRY(w.ReadElement(1, first, &tag));
  bool haveCurve = false;
  if ((tag & 0x10) != 0) {
    // PKCS#8: the curve from the AlgorithmIdentifier, then the SEC1 key inside the OCTET STRING.
    ScratchDer alg;
    TORNELL_TRY(alg.output.Set(first.Data(), first.Length()));
    TORNELL_TRY(alg.ReadOid(1, curveOid));
    haveCurve = true;
    SecretBytes inner;
    TORNELL_TRY(w.ReadElement(2, inner));
    TORNELL_TRY(w.output.Set(inner.Data(), inner.Length()));
    TORNELL_TRY(w.Unwrap(nullptr));
    TORNELL_TRY(w.ReadElement(0, ignored));
    TORNELL_TRY(w.ReadElement(1, first, &tag));
  }
  TORNELL_TRY(d.Set(first.Data(), first.Length()));
  // [0] parameters and [1] public key are both optional (RFC 5915).
  int at = 2;
  ByteString element;
  if (w.ReadElement(at, element, &tag) == kStatusOk && tag == 0xA0) {
    ByteString inner;
    int innerTag = 0;
    if (Element(element, 0, inner, innerTag) == kStatusOk && innerTag != kTagSequence) {
      ScratchDer params;
      TORNELL_TRY(params.output.Set(element.Data(), element.Length()));
      TORNELL_TRY(params.ReadOid(0, curveOid));
      haveCurve = true;
    }
    ++at;
  }
  if (w.ReadElement(at, element, &tag) == kStatusOk && tag == 0xA1) {
    int innerTag = 0;
    TORNELL_TRY(Element(element, 0, publicKey, innerTag));
  }
  blob.Clear();
  TORNELL_TRY(blob.Append("EC"));
  int width = 32;
  if (haveCurve) {
    int index = -1;
    for (int i = 0; i < 3; ++i) {
      if (curveOid.EqualsIgnoreCase(kCurves[i].oid)) index = i;
    }
    if (index < 0) {
      TORNELL_TRY(errorText.Set("Error decoding key: unknown curve information."));
      return kKeyUnusable;
    }
    key.curveIndex = index;
    width = kCurves[index].width;
    TORNELL_TRY(blob.AppendByte(index));
  }
  TORNELL_TRY(blob.AppendByte(d.Length()));
  TORNELL_TRY(blob.Append(d.Data(), d.Length()));
  TORNELL_TRY(key.D.Set(d.Data(), d.Length()));
  if (publicKey.IsEmpty()) {
    TORNELL_TRY(blob.AppendByte(0));
    return blob.AppendByte(0);
  }
  int skip = 0;
  while (skip < publicKey.Length() && publicKey.ByteAt(skip) == 0) ++skip;
  if (publicKey.Length() - skip != 2 * width + 1 || publicKey.ByteAt(skip) != 0x04) {
    TORNELL_TRY(errorText.Set("Error decoding key: invalid EC public key."));
    return kKeyUnusable;
  }
  TORNELL_TRY(key.X.Set(publicKey.Data() + skip + 1, width));
  TORNELL_TRY(key.Y.Set(publicKey.Data() + skip + 1 + width, width));
  TORNELL_TRY(blob.AppendByte(width));
  TORNELL_TRY(blob.Append(key.X.Data(), width));
  TORNELL_TRY(blob.AppendByte(width));
  return blob.Append(key.Y.Data(), width);
}

int KeyCodec::ReadPrivateKeyFile(const char* data, int length, const SecretBytes& password, TextArmor& blob,
                                 KeyHolder& holder, ByteString& errorText) {
  blob.Clear();
  TextArmor der;
  int status = KeyFileFormats::DecodePem(der, "RSA PRIVATE KEY", data, length, password, 1);
  if (status == kStatusOk) {
    RsaKey key;
    TORNELL_TRY(ReadRsaPrivateKey(der.Data(), der.Length(), blob, key));
    holder.type = kKeyTypeRsa;
    return holder.rsaKey.CopyFrom(key);
  }
  if (status != kKeyFormatNotFound) return status;
  status = KeyFileFormats::DecodePem(der, "DSA PRIVATE KEY", data, length, password, 1);
  if (status == kStatusOk) {
    DsaKey key;
    TORNELL_TRY(ReadDsaPrivateKey(der.Data(), der.Length(), blob, key));
    holder.type = kKeyTypeDsa;
    return holder.dsaKey.CopyFrom(key);
  }
  if (status != kKeyFormatNotFound) return status;
  status = KeyFileFormats::DecodePem(der, "EC PRIVATE KEY", data, length, password, 1);
  if (status == kStatusOk) {
    EcKey key;
    TORNELL_TRY(ReadEcPrivateKey(der.Data(), der.Length(), blob, key, errorText));
    holder.type = kKeyTypeEc;
    return holder.ecKey.CopyFrom(key);
  }
  if (status != kKeyFormatNotFound) return status;
  int isDsa = 0, isEc = 0;
  status = KeyFileFormats::DecodePkcs8(der, data, length, password, isDsa, isEc);
  if (status == kStatusOk) {
    if (isDsa != 0) {
      DsaKey key;
      TORNELL_TRY(ReadDsaPrivateKey(der.Data(), der.Length(), blob, key));
      holder.type = kKeyTypeDsa;
      return holder.dsaKey.CopyFrom(key);
    }
    if (isEc != 0) {
      KeyInfo info;
      TORNELL_TRY(X509Codec::ParsePrivateKeyInfo(der.Data(), der.Length(), info));
      if (info.IsEc()) {
        TORNELL_TRY(KeyFileFormats::WriteEcBlob(blob, info.ecKey.curveIndex, info.ecKey.X, info.ecKey.Y, info.ecKey.D));
        holder.type = kKeyTypeEc;
        return holder.ecKey.CopyFrom(info.ecKey);
      }
      if (info.IsEdDsa()) {
        // RFC 8410 files carry no public key; signing needs it.
        if (info.ecKey.edPublic.IsEmpty()) {
          TORNELL_TRY(EdDsa::PublicFromSeed(info.ecKey.edPrivate.Bytes(), info.ecKey.edPrivate.Length(),
                                            info.ecKey.edPublic));
        }
        TORNELL_TRY(KeyFileFormats::WriteEdBlob(blob, info.ecKey.curveIndex, info.ecKey.edPublic,
                                                info.ecKey.edPrivate, ByteString()));
        holder.type = kKeyTypeEdDsa;
        return holder.edDsaKey.CopyFrom(info.ecKey);
      }
      return kKeyFormatNotFound;
    }
    RsaKey key;
    TORNELL_TRY(ReadRsaPrivateKey(der.Data(), der.Length(), blob, key));
    holder.type = kKeyTypeRsa;
    return holder.rsaKey.CopyFrom(key);
  }
  if (status != kKeyFormatNotFound) return status;
  status = ReadOpenSshKey(data, length, password, holder);
  if (status == kStatusOk) return WriteHolderBlob(holder, blob);
  if (status != kKeyFormatNotFound) return status;
  status = KeyFileFormats::DecodePem(der, "SSH2 ENCRYPTED PRIVATE KEY", data, length, password, 1);
  if (status == kStatusOk) return ReadSsh2EncryptedKey(der.Data(), der.Length(), password, blob, holder, errorText);
  if (status != kKeyFormatNotFound) return status;
  status = ReadPuttyKey(data, length, password, holder);
  if (status == kStatusOk) return WriteHolderBlob(holder, blob);
  return status;
}

}  // namespace tornell::pki
