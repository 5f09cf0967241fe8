#include "crypto/ecc/curve/EcCurve.h"

#include <cstring>

#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/ecc/curve/NamedCurveTable.h"

namespace tornell {

namespace {

const char* const kPrimeModuli[] = {
    "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFFFFFFFFFF",
    "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF000000000000000000000001",
    "FFFFFFFF00000001000000000000000000000000FFFFFFFFFFFFFFFFFFFFFFFF",
    "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEFFFFFFFF0000000000000000FFFFFFFF",
    "01"
    "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
    "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
    "FF",
};

struct Pentanomial {
  int m, k1, k2, k3;
};
constexpr Pentanomial kBinaryModuli[] = {
    {163, 3, 6, 7}, {233, 74, 0, 0}, {283, 5, 7, 12}, {409, 87, 0, 0}, {571, 2, 5, 10},
};

const NamedCurveParams* FindParams(int index) {
  for (int i = 0; i < kNamedCurveCount; ++i) {
    if (kNamedCurves[i].index == index) return &kNamedCurves[i];
  }
  return nullptr;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// Leading zero bytes skipped.
const unsigned char* Significant(const ByteString& s, int& length) {
  const unsigned char* p = s.Bytes();
  length = s.Length();
  while (length > 0 && *p == 0) {
    ++p;
    --length;
  }
  return p;
}

int SignificantLength(const ByteString& s) {
  int length = 0;
  Significant(s, length);
  return length;
}

// Right-aligned copy of value into width bytes at dst.
void PutAligned(unsigned char* dst, int width, const ByteString& value) {
  int length = 0;
  const unsigned char* src = Significant(value, length);
  std::memset(dst, 0, width - length);
  std::memcpy(dst + (width - length), src, length);
}

int SetHex(const char* text, int minLength, ByteString& field) {
  ByteString tmp;
  int status = EcCurve::HexToBytes(text, minLength, tmp);
  if (status != 0) return status;
  return field.Assign(tmp);
}

int AppendHex(const char* text, ByteString& field) {
  ByteString tmp;
  int status = EcCurve::HexToBytes(text, 0, tmp);
  if (status != 0) return status;
  return field.Append(tmp);
}

int AppendNamed(EcCurve& curve, int index) {
  const NamedCurveParams* row = FindParams(index);
  int status = 0;
  if ((status = AppendHex(row->p, curve.p)) != 0 || (status = AppendHex(row->a, curve.a)) != 0 ||
      (status = AppendHex(row->b, curve.b)) != 0 || (status = AppendHex(row->gx, curve.Gx)) != 0 ||
      (status = AppendHex(row->gy, curve.Gy)) != 0 || (status = AppendHex(row->n, curve.n)) != 0 ||
      (status = AppendHex(row->seed, curve.seed)) != 0) {
    return status;
  }
  curve.curveIndex = index;
  return 0;
}

}  // namespace

EcCurve PrebuiltCurves[3] = {EcCurve(0), EcCurve(1), EcCurve(2)};

// A constructor has no status to give: an unknown index leaves the curve
// incomplete, which IsComplete() reports.
EcCurve::EcCurve(int index) { static_cast<void>(LoadNamedCurve(index)); }

int EcCurve::LoadNamedCurve(int index) {
  int status = 0;
  if (index == kCustomCurveIndex) {
    if ((status = SetReduction(0x6100)) != 0 || (status = SetFieldType(ecfield::kUnset)) != 0 ||
        (status = SetModulus(nullptr, 0)) != 0) {
      return status;
    }
    curveIndex = index;
    return 0;
  }
  const NamedCurveParams* row = FindParams(index);
  if (row == nullptr) return kEcUnknownCurve;
  switch (row->kind) {
    case 0:
    case 2:
      status = SetReduction(row->reductionId);
      break;
    case 1: {
      ByteString modulus;
      if ((status = SetReduction(0x6100)) != 0 || (status = SetFieldType(ecfield::kPrime)) != 0 ||
          (status = HexToBytes(row->p, 0, modulus)) != 0) {
        return status;
      }
      status = SetModulus(modulus.Data(), modulus.Length());
      break;
    }
    default:
      if ((status = SetFieldType(ecfield::kBinary)) != 0 || (status = SetReduction(0x6100)) != 0 ||
          (status = SetDegree(row->degree)) != 0 || (status = SetK1(row->k1)) != 0 || (status = SetK2(row->k2)) != 0) {
        return status;
      }
      status = SetK3(row->k3);
  }
  if (status != 0) return status;
  const int width = p.Length();
  if ((status = SetHex(row->a, width, a)) != 0 || (status = SetHex(row->b, width, b)) != 0 ||
      (status = SetHex(row->n, 0, n)) != 0) {
    return status;
  }
  cofactor = row->cofactor;
  if ((status = SetHex(row->gx, width, Gx)) != 0 || (status = SetHex(row->gy, width, Gy)) != 0 ||
      (status = SetHex(row->seed, 0, seed)) != 0) {
    return status;
  }
  curveIndex = index;
  return 0;
}

int EcCurve::SetParameters(const ByteString& pIn, const ByteString& aIn, const ByteString& bIn,
                           const ByteString& encodedGenerator, const ByteString& seedIn, const ByteString& nIn,
                           int cofactorIn) {
  int status = 0;
  if ((status = p.Assign(pIn)) != 0 || (status = a.Assign(aIn)) != 0 || (status = b.Assign(bIn)) != 0) {
    return status;
  }
  int ok = 0;
  ByteString x, y;
  if ((status = DecodePoint(encodedGenerator, *this, ok, x, y)) != 0) return status;
  if (ok != 0 && ((status = Gx.Assign(x)) != 0 || (status = Gy.Assign(y)) != 0)) return status;
  if ((status = n.Assign(nIn)) != 0 || (status = seed.Assign(seedIn)) != 0) return status;
  cofactor = cofactorIn;
  curveIndex = IdentifyCurve();
  return 0;
}

int EcCurve::IdentifyCurve() {
  if (curveIndex != -1) return curveIndex;
  for (int i = 0; i < 3; ++i) {
    if (Equals(PrebuiltCurves[i])) {
      const int status = CopyFrom(PrebuiltCurves[i]);
      if (status != 0) return curveIndex;
      return curveIndex;
    }
  }
  curveIndex = kCustomCurveIndex;
  return curveIndex;
}

EcCurve* EcCurve::FindPrebuilt(int index) {
  for (EcCurve& curve : PrebuiltCurves) {
    if (curve.curveIndex == index && index >= 0 && index <= 2) return &curve;
  }
  return nullptr;
}

int EcCurve::SetReduction(int id) {
  if (id < 0x6100 || id > 0x610A) return kEcUnknownCurve;
  int status = 0;
  if (id >= 0x6101 && id <= 0x6105) {
    fieldType = ecfield::kPrime;
    ByteString modulus;
    if ((status = HexToBytes(kPrimeModuli[id - 0x6101], 0, modulus)) != 0 ||
        (status = SetModulus(modulus.Data(), modulus.Length())) != 0) {
      return status;
    }
  } else if (id >= 0x6106) {
    fieldType = ecfield::kBinary;
    const Pentanomial& f = kBinaryModuli[id - 0x6106];
    EcBigInt poly;
    EcPointMath::MakePolynomial(poly, static_cast<unsigned>(f.m), f.k1, f.k2, f.k3);
    ByteString modulus;
    if ((status = EcPointMath::ToBytesFixed(poly, (f.m + 8) / 8, modulus)) != 0 ||
        (status = SetModulus(modulus.Data(), modulus.Length())) != 0) {
      return status;
    }
  }
  reductionId = id;
  return 0;
}

int EcCurve::SetModulus(const void* bytes, int length) {
  const int status = p.Set(bytes, bytes == nullptr ? 0 : length);
  if (status != 0) return status;
  if (p.Length() == 0) {
    degree = k1 = k2 = k3 = 0;
    return 0;
  }
  if (fieldType == ecfield::kBinary) {
    EcBigInt poly;
    const int convert = EcBigInt::FromBytes(p.Data(), p.Length(), poly);
    if (convert != 0) return convert;
    EcPointMath::PolynomialExponents(poly, degree, k1, k2, k3);
  }
  return 0;
}

int EcCurve::SetDegree(int m) {
  degree = m;
  return fieldType == ecfield::kBinary ? BuildPolynomial() : 0;
}

int EcCurve::SetK1(int k) {
  if (k < 0) return 0;
  k1 = k;
  return fieldType == ecfield::kBinary ? BuildPolynomial() : 0;
}

int EcCurve::SetK2(int k) {
  if (k < 0) return 0;
  k2 = k;
  return fieldType == ecfield::kBinary ? BuildPolynomial() : 0;
}

int EcCurve::SetK3(int k) {
  if (k < 0) return 0;
  k3 = k;
  return fieldType == ecfield::kBinary ? BuildPolynomial() : 0;
}

int EcCurve::BuildPolynomial() {
  if (degree < 0 || degree >= EcBigInt::kMaxWords * 32 - 32) return kEcOverflow;
  EcBigInt poly;
  EcPointMath::MakePolynomial(poly, static_cast<unsigned>(degree), k1, k2, k3);
  return EcPointMath::ToBytesFixed(poly, (EcBigInt::BitLength(poly) + 7) / 8, p);
}

int EcCurve::SetFieldType(int type) {
  fieldType = type;
  return 0;
}

int EcCurve::FieldBits() const { return fieldType == ecfield::kBinary ? degree : BitLength(p); }

int EcCurve::FieldBytes() const {
  if (fieldType == ecfield::kBinary) return (degree + 7) / 8;
  // a prime field, or parameters not yet typed: the width of p
  if (fieldType == ecfield::kPrime || p.Length() > 0) return SignificantLength(p);
  return (degree + 7) / 8;
}

int EcCurve::BitLength(const ByteString& bytes) {
  int length = 0;
  const unsigned char* s = Significant(bytes, length);
  if (length == 0) return 0;
  return 8 * (length - 1) + (32 - __builtin_clz(static_cast<unsigned>(s[0])));
}

bool EcCurve::IsComplete() const {
  return curveIndex >= 0 && curveIndex <= kCustomCurveIndex &&
         (fieldType == ecfield::kPrime || fieldType == ecfield::kBinary) && reductionId >= 0x6100 &&
         reductionId <= 0x610A && p.Length() > 0 && a.Length() > 0 && b.Length() > 0 && Gx.Length() > 0 &&
         Gy.Length() > 0 && n.Length() > 0;
}

bool EcCurve::Equals(const EcCurve& other) const {
  return ValuesEqual(p, other.p) && ValuesEqual(a, other.a) && ValuesEqual(b, other.b) &&
         ValuesEqual(Gx, other.Gx) && ValuesEqual(Gy, other.Gy) && ValuesEqual(n, other.n);
}

bool EcCurve::ValuesEqual(const ByteString& x, const ByteString& y) {
  if (x.Equals(y)) return true;
  int lx = 0;
  int ly = 0;
  const unsigned char* px = Significant(x, lx);
  const unsigned char* py = Significant(y, ly);
  return lx == ly && std::memcmp(px, py, lx) == 0;
}

int EcCurve::CopyFrom(const EcCurve& other) {
  if (&other == this) return 0;
  int status = 0;
  if ((status = p.Assign(other.p)) != 0 || (status = a.Assign(other.a)) != 0 || (status = b.Assign(other.b)) != 0 ||
      (status = Gx.Assign(other.Gx)) != 0 || (status = Gy.Assign(other.Gy)) != 0 ||
      (status = seed.Assign(other.seed)) != 0 || (status = n.Assign(other.n)) != 0) {
    return status;
  }
  cofactor = other.cofactor;
  degree = other.degree;
  k1 = other.k1;
  k2 = other.k2;
  k3 = other.k3;
  reductionId = other.reductionId;
  fieldType = other.fieldType;
  curveIndex = other.curveIndex;
  return 0;
}

int EcCurve::EncodePoint(const ByteString& X, const ByteString& Y, const EcCurve& curve, int compressed, int hybrid,
                         ByteString& out) {
  if (compressed != 0 && curve.fieldType == ecfield::kUnset) return kEcBadCurve;
  const int w = curve.FieldBytes();
  if (X.Length() == 0 || Y.Length() == 0 || X.Length() > w || Y.Length() > w) {
    return kEcBadCurve;
  }
  int first = 0x04;
  if (compressed != 0) {
    int c = 0;
    if (curve.fieldType == ecfield::kPrime) {
      c = Y.Bytes()[Y.Length() - 1] & 1;
    } else if (curve.fieldType == ecfield::kBinary) {
      EcBigInt x, y, f;
      int status = 0;
      if ((status = EcBigInt::FromBytes(X.Data(), X.Length(), x)) != 0 ||
          (status = EcBigInt::FromBytes(Y.Data(), Y.Length(), y)) != 0 ||
          (status = EcBigInt::FromBytes(curve.p.Data(), curve.p.Length(), f)) != 0) {
        return status;
      }
      c = EcPointMath::BinaryCompressBit(x, y, f);
    } else {
      return kEcBadCurve;
    }
    first = (hybrid != 0 ? 0x06 : 0x02) + c;
  }
  const bool withY = compressed == 0 || hybrid != 0;
  ByteString encoded;
  const int status = encoded.Resize(withY ? 2 * w + 1 : w + 1);
  if (status != 0) return status;
  unsigned char* dst = encoded.Bytes();
  dst[0] = static_cast<unsigned char>(first);
  PutAligned(dst + 1, w, X);
  if (withY) PutAligned(dst + 1 + w, w, Y);
  return out.Assign(encoded);
}

int EcCurve::DecodePoint(const ByteString& encoded, const EcCurve& curve, int& ok, ByteString& X, ByteString& Y) {
  ok = 0;
  const int length = encoded.Length();
  if (length == 0) return 0;
  const unsigned char* src = encoded.Bytes();
  const int first = src[0];
  const int w = curve.FieldBytes();
  int status = 0;
  if (first == 0x00) {
    if ((status = X.Clear()) != 0 || (status = Y.Clear()) != 0) return status;
    ok = 1;
    return 0;
  }
  if (first == 0x04 || first == 0x06 || first == 0x07) {
    if ((length & 1) == 0 || (length - 1) / 2 != w || w == 0) return 0;
    if ((status = X.Set(src + 1, w)) != 0 || (status = Y.Set(src + 1 + w, w)) != 0) return status;
    ok = 1;
    return 0;
  }
  if ((first != 0x02 && first != 0x03) || length - 1 != w || w == 0) return 0;
  if (curve.fieldType != ecfield::kPrime && curve.fieldType != ecfield::kBinary) return 0;
  EcBigInt p, a, b, x, y;
  ByteString xBytes;
  if ((status = xBytes.Set(src + 1, w)) != 0) return status;
  if (EcBigInt::FromBytes(curve.p.Data(), curve.p.Length(), p) != 0 || ToEcBigInt(curve.a, &p, a) != 0 ||
      ToEcBigInt(curve.b, &p, b) != 0 || ToEcBigInt(xBytes, &p, x) != 0) {
    return 0;
  }
  // x must be a field element: below p, or of degree below m
  if (curve.fieldType == ecfield::kPrime ? EcPointMath::Compare(x, p, p) >= 0
                                         : EcBigInt::BitLength(x) >= EcBigInt::BitLength(p)) {
    return 0;
  }
  const int found = curve.fieldType == ecfield::kPrime
                        ? EcPointMath::DecompressY(first - 2, x, a, b, p, curve.reductionId, y)
                        : EcPointMath::BinaryDecompressY(first - 2, x, a, b, p, y);
  if (found == 0) return 0;
  ByteString yBytes;
  if ((status = EcPointMath::ToBytesFixed(y, w, yBytes)) != 0) return status;
  if (yBytes.Length() == 0 && (status = yBytes.SetLength(w)) != 0) return status;
  if ((status = Y.Assign(yBytes)) != 0 || (status = X.Assign(xBytes)) != 0) return status;
  ok = 1;
  return 0;
}

int EcCurve::HexToBytes(const char* text, int minLength, ByteString& out) {
  const int digits = text == nullptr ? 0 : static_cast<int>(std::strlen(text));
  const int bytes = (digits + 1) / 2;
  const int total = bytes < minLength ? minLength : bytes;
  int status = out.Resize(total);
  if (status != 0) return status;
  unsigned char* dst = out.Bytes();
  std::memset(dst, 0, total - bytes);
  dst += total - bytes;
  int at = 0;
  if ((digits & 1) != 0) {
    dst[0] = static_cast<unsigned char>(HexDigit(text[0]));
    at = 1;
  }
  for (int i = at; i < bytes; ++i) {
    const int pos = 2 * i - (digits & 1);
    dst[i] = static_cast<unsigned char>(HexDigit(text[pos]) * 16 + HexDigit(text[pos + 1]));
  }
  return 0;
}

int EcCurve::ToEcBigInt(const ByteString& bytes, const EcBigInt* widthSource, EcBigInt& out) {
  int status = EcBigInt::FromBytes(bytes.Data(), bytes.Length(), out);
  if (status != 0) return status;
  if (widthSource == nullptr) return 0;
  const int width = widthSource->wordCount;
  if (EcBigInt::BitLength(out) > 32 * width) return kEcTooWide;
  for (int i = out.wordCount; i < width; ++i) out.words[i] = 0;
  out.wordCount = width;
  return 0;
}

int EcCurve::SetP256(EcCurve& curve) { return AppendNamed(curve, 0); }

int EcCurve::SetP384(EcCurve& curve) { return AppendNamed(curve, 1); }

int EcCurve::SetP521(EcCurve& curve) { return AppendNamed(curve, 2); }

}  // namespace tornell
