#include "crypto/ecc/engine/EccEngine.h"

#include "core/text/TextUtils.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcStatus.h"
#include "crypto/ecc/edwards/EdDsa.h"

namespace tornell {

namespace {

struct CurveRow {
  int fieldLength;
  const char* oid;
};

constexpr CurveRow kCurveRows[] = {
    {32, "1.2.840.10045.3.1.7"},    {48, "1.3.132.0.34"}, {66, "1.3.132.0.35"},
    {32, "1.3.6.1.4.1.11591.15.1"}, {57, "1.3.6.1.4.1.11591.15.2"},
};
constexpr int kCurveRowCount = static_cast<int>(sizeof kCurveRows / sizeof kCurveRows[0]);

const unsigned char* U(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

}  // namespace

int EccEngine::FieldLengthOf(int index) {
  return index >= 0 && index < kCurveRowCount ? kCurveRows[index].fieldLength : -1;
}

const char* EccEngine::CurveOidOf(int index) {
  return index >= 0 && index < kCurveRowCount ? kCurveRows[index].oid : "";
}

int EccEngine::CurveIndexOfOid(const char* oid) {
  if (oid == nullptr) return -1;
  for (int i = 0; i < kCurveRowCount; ++i) {
    if (CompareNoCase(oid, kCurveRows[i].oid) == 0) return i;
  }
  return -1;
}

int EccEngine::LoadCurve() {
  curve = EcCurve::FindPrebuilt(curveIndex);
  if (curve == nullptr || !curve->IsComplete()) return kEcBadCurve;
  return 0;
}

int EccEngine::SetKey(EcKey& key) {
  if (key.curveIndex == eckeycurve::kEd25519 || key.curveIndex == eckeycurve::kEd448) return EdwardsLoad(key);
  if (key.X.Length() == 0 || key.Y.Length() == 0) return kEcBadCurve;
  int status = X.Assign(key.X);
  if (status == 0) status = Y.Assign(key.Y);
  if (status != 0) return status;
  if (key.D.Length() > 0) {
    status = D.Assign(key.D);
  } else {
    D.Clear();
  }
  curveIndex = key.curveIndex;
  curve = key.curve;
  return status;
}

int EccEngine::EdwardsLoad(EcKey& key) {
  if (EdDsa::CheckKeyPair(key.edPublic.Bytes(), key.edPublic.Length(), key.edPrivate.Bytes(),
                          key.edPrivate.Length(), 0) != 1) {
    return kEcBadCurve;
  }
  int status = edwardsPublic.Assign(key.edPublic);
  if (status == 0) status = edwardsPrivate.Assign(key.edPrivate);
  if (status == 0 && edwardsPrivate.Length() > 0 && edwardsPublic.Length() == 0) {
    status = EdDsa::PublicFromSeed(edwardsPrivate.Bytes(), edwardsPrivate.Length(), edwardsPublic);
  }
  if (status != 0) return status;
  curveIndex = edwardsPublic.Length() == 32 ? eckeycurve::kEd25519 : eckeycurve::kEd448;
  return 0;
}

int EccEngine::EdwardsGenerate(EcKey& key) {
  if (!IsEdwardsCurve()) return kEcBadCurve;
  int status = 0;
  if (edwardsPublic.Length() == 0 && edwardsPrivate.Length() > 0) {
    status = EdDsa::PublicFromSeed(edwardsPrivate.Bytes(), edwardsPrivate.Length(), edwardsPublic);
  } else if (edwardsPublic.Length() == 0 && edwardsPrivate.Length() == 0) {
    status = curveIndex == eckeycurve::kEd25519 ? EdDsa::GenerateEd25519(edwardsPublic, edwardsPrivate)
                                                : EdDsa::GenerateEd448(edwardsPublic, edwardsPrivate);
  }
  if (status != 0) return status;
  key.curveIndex = curveIndex;
  status = key.edPublic.Assign(edwardsPublic);
  if (status == 0) status = key.edPrivate.Assign(edwardsPrivate);
  return status;
}

int EccEngine::SignData(const char* data, int length, int hashAlgorithm, ByteString& signature) {
  if (IsEdwardsCurve()) return EdDsaSign(data, length, signature);
  HashContext hash;
  ByteString digest;
  int status = hash.SetAlgorithm(hashAlgorithm);
  if (status == 0) status = hash.Digest(data, length, digest);
  if (status != 0) return status;
  return SignHash(digest.Data(), digest.Length(), signature);
}

int EccEngine::VerifyData(const char* data, int length, const char* signature, int signatureLength,
                          int hashAlgorithm, int& valid) {
  valid = 0;
  if (IsEdwardsCurve()) return EdDsaVerify(data, length, signature, signatureLength, valid);
  HashContext hash;
  ByteString digest;
  int status = hash.SetAlgorithm(hashAlgorithm);
  if (status == 0) status = hash.Digest(data, length, digest);
  if (status != 0) return status;
  return VerifyHash(digest.Data(), digest.Length(), signature, signatureLength, valid);
}

int EccEngine::EdDsaSign(const char* data, int length, ByteString& signature) {
  const int keyLength = edwardsPrivate.Length();
  if (keyLength == 0 || keyLength != edwardsPublic.Length()) return kEcBadCurve;
  if (keyLength == 32) {
    return EdDsa::SignEd25519(U(data), length, edwardsPublic.Bytes(), 32, edwardsPrivate.Bytes(), 32, signature);
  }
  if (keyLength == 57) {
    return EdDsa::SignEd448(U(data), length, nullptr, 0, edwardsPublic.Bytes(), 57, edwardsPrivate.Bytes(), 57,
                            signature);
  }
  return kEcBadCurve;
}

int EccEngine::EdDsaVerify(const char* data, int length, const char* signature, int signatureLength,
                           int& valid) {
  valid = 0;
  if (curveIndex == eckeycurve::kEd25519 && edwardsPublic.Length() == 32 && signatureLength == 64) {
    valid = EdDsa::VerifyEd25519(U(data), length, edwardsPublic.Bytes(), 32, U(signature), 64);
  } else if (curveIndex == eckeycurve::kEd448 && edwardsPublic.Length() == 57 && signatureLength == 114) {
    valid = EdDsa::VerifyEd448(U(data), length, nullptr, 0, edwardsPublic.Bytes(), 57, U(signature), 114);
  }
  return 0;
}

int EccEngine::DecodeUncompressedPoint(ByteString& point, ByteString& x, ByteString& y) {
  if (point.Length() > 0 && point.ByteAt(0) == 0x00) {
    const int status = point.EraseFront(1);
    if (status != 0) return status;
  }
  if (point.Length() == 0 || point.ByteAt(0) != 0x04) return kEcBadPoint;
  const int h = (point.Length() - 1) / 2;
  int status = x.Set(point.Data() + 1, h);
  if (status == 0) status = y.Set(point.Data() + 1 + h, h);
  return status;
}

int EccEngine::SetKeyPoint(const char* point, int length, EcKey& key) {
  ByteString copy;
  const int status = copy.Set(point, length);
  if (status != 0) return status;
  return DecodeUncompressedPoint(copy, key.X, key.Y);
}

int EccEngine::EncodePublicPoint(int compressed, ByteString& x, ByteString& y, int index, ByteString& out) {
  const EcCurve* found = EcCurve::FindPrebuilt(index);
  if (found == nullptr) return kEcBadCurve;
  return EcCurve::EncodePoint(x, y, *found, compressed, 0, out);
}

int EccEngine::DerSignatureToRaw(const char* signature, int length, int index, ByteString& raw) {
  SignaturePair pair;
  if (PublicKeyAlgorithm::DecodeDerSignature(signature, length, pair) != 1) return 0;
  const int width = FieldLengthOf(index);
  ByteString r, s;
  int status = EcKey::FitToWidth(pair.r.Data(), pair.r.Length(), width, r);
  if (status == 0) status = EcKey::FitToWidth(pair.s.Data(), pair.s.Length(), width, s);
  if (status == 0) status = raw.Assign(r);
  if (status == 0) status = raw.Append(s);
  return status;
}

int EccEngine::RawSignatureToDer(const char* signature, int length, ByteString& der) {
  const int h = length / 2;
  ByteString r, s;
  int status = r.Set(signature, h);
  if (status == 0) status = s.Set(signature + h, h);
  if (status == 0) status = PublicKeyAlgorithm::EncodeDerSignature(r, s, der);
  return status;
}

}  // namespace tornell
