#include "crypto/ecc/engine/EccEngineMultiply.h"

#include <atomic>
#include <cstring>

#include "core/secure/SecureWipe.h"
#include "crypto/ecc/curve/EcPointMath.h"
#include "crypto/ecc/nist/NistCurve.h"

namespace tornell {

namespace {

// The curve's numbers as EcBigInt values, field elements widened to p.
struct GenericCurve {
  EcBigInt p;
  EcBigInt a;
  EcBigInt b;
  EcBigInt gx;
  EcBigInt gy;
  int width = 0;
  int reductionId = 0;
  bool binary = false;

  int Init(const EcCurve& curve) {
    if (curve.fieldType != ecfield::kPrime && curve.fieldType != ecfield::kBinary) return kEcBadCurve;
    binary = curve.fieldType == ecfield::kBinary;
    reductionId = curve.reductionId;
    width = curve.FieldBytes();
    if (width <= 0 || width > EccPointOps::kMaxBytes) return kEcBadCurve;
    int status = EcBigInt::FromBytes(curve.p.Data(), curve.p.Length(), p);
    if (status == 0) status = EcCurve::ToEcBigInt(curve.a, &p, a);
    if (status == 0) status = EcCurve::ToEcBigInt(curve.b, &p, b);
    if (status == 0) status = EcCurve::ToEcBigInt(curve.Gx, &p, gx);
    if (status == 0) status = EcCurve::ToEcBigInt(curve.Gy, &p, gy);
    return status;
  }

  int Element(const unsigned char* bytes, EcBigInt& out) const {
    int status = EcBigInt::FromBytes(bytes, width, out);
    if (status != 0) return status;
    for (int i = out.wordCount; i < p.wordCount; ++i) out.words[i] = 0;
    if (out.wordCount < p.wordCount) out.wordCount = p.wordCount;
    return 0;
  }

  int Multiply(const EcBigInt& x, const EcBigInt& y, const EcBigInt& k, EcBigInt& outX, EcBigInt& outY) const {
    if (binary) return EcPointMath::BinaryScalarMultiply(x, y, a, b, p, k, outX, outY);
    return EcPointMath::ScalarMultiply(x, y, p, a, k, reductionId, outX, outY);
  }

  int Add(const EcBigInt& x1, const EcBigInt& y1, const EcBigInt& x2, const EcBigInt& y2, EcBigInt& outX,
          EcBigInt& outY) const {
    if (binary) return EcPointMath::BinaryAffineAdd(x1, y1, x2, y2, a, p, outX, outY);
    return EcPointMath::AffineAdd(x1, y1, x2, y2, p, a, reductionId, outX, outY);
  }

  // Writes a result point; the point at infinity has an x of no words.
  void Store(const EcBigInt& x, const EcBigInt& y, unsigned char* outX, unsigned char* outY,
             int& infinity) const {
    infinity = x.wordCount == 0 ? 1 : 0;
    StoreElement(x, outX);
    StoreElement(y, outY);
  }

  // The words above the field's count are zero, and so are those of the point
  // at infinity: no test of the (secret-dependent) word count.
  void StoreElement(const EcBigInt& v, unsigned char* out) const {
    for (int i = 0; i < width; ++i) {
      out[width - 1 - i] = static_cast<unsigned char>(v.words[i / 4] >> (8 * (i % 4)));
    }
  }
};

// The generic multiplication does work in proportion to the scalar's word
// count: every scalar gets the count of its fixed byte width, and its bytes
// are placed by position, so leading zeros of a secret do not show in the
// running time.
int Scalar(const unsigned char* k, int kLength, EcBigInt& out) {
  if (kLength < 0 || kLength > EcBigInt::kMaxBytes) return kEcOverflow;
  const int words = kLength > 0 ? (kLength + 3) / 4 : 1;
  std::memset(out.words, 0, sizeof(uint32_t) * static_cast<size_t>(words));
  for (int i = 0; i < kLength; ++i) {
    out.words[i / 4] |= static_cast<uint32_t>(k[kLength - 1 - i]) << (8 * (i % 4));
  }
  out.wordCount = words;
  out.sign = 1;
  return 0;
}

int GenericMultiplyBase(const EcCurve& curve, const unsigned char* k, int kLength, unsigned char* x,
                        unsigned char* y, int& infinity) {
  GenericCurve c;
  EcBigInt s, rx, ry;
  int status = c.Init(curve);
  if (status == 0) status = Scalar(k, kLength, s);
  if (status == 0) status = c.Multiply(c.gx, c.gy, s, rx, ry);
  if (status == 0) c.Store(rx, ry, x, y, infinity);
  return status;
}

int GenericMultiplyPoint(const EcCurve& curve, const unsigned char* px, const unsigned char* py,
                         const unsigned char* k, int kLength, unsigned char* x, unsigned char* y, int& infinity) {
  GenericCurve c;
  EcBigInt s, qx, qy, rx, ry;
  int status = c.Init(curve);
  if (status == 0) status = Scalar(k, kLength, s);
  if (status == 0) status = c.Element(px, qx);
  if (status == 0) status = c.Element(py, qy);
  if (status == 0) status = c.Multiply(qx, qy, s, rx, ry);
  if (status == 0) c.Store(rx, ry, x, y, infinity);
  return status;
}

int GenericMultiplyTwo(const EcCurve& curve, const unsigned char* u1, const unsigned char* u2, int uLength,
                       const unsigned char* qx, const unsigned char* qy, unsigned char* x, unsigned char* y,
                       int& infinity) {
  GenericCurve c;
  EcBigInt s, px, py, ax, ay, bx, by;
  int status = c.Init(curve);
  if (status == 0) status = Scalar(u1, uLength, s);
  if (status == 0) status = c.Multiply(c.gx, c.gy, s, ax, ay);
  if (status == 0) status = Scalar(u2, uLength, s);
  if (status == 0) status = c.Element(qx, px);
  if (status == 0) status = c.Element(qy, py);
  if (status == 0) status = c.Multiply(px, py, s, bx, by);
  if (status == 0) status = c.Add(ax, ay, bx, by, px, py);
  if (status == 0) c.Store(px, py, x, y, infinity);
  return status;
}

constexpr EccPointOps kGenericOps = {GenericMultiplyBase, GenericMultiplyPoint, GenericMultiplyTwo, nullptr};

// The dedicated P-256, P-384 and P-521 arithmetic; it takes every value at the
// curve's own width, which is what the engine passes.
int NistResult(int status, int& infinity) {
  infinity = status == kNistInfinity ? 1 : 0;
  if (status == kNistOk || status == kNistInfinity) return 0;
  return status == kNistBadPoint ? kEcBadPoint : kEcBadCurve;
}

int NistMultiplyBase(const EcCurve& curve, const unsigned char* k, int kLength, unsigned char* x, unsigned char* y,
                     int& infinity) {
  if (kLength != NistCurveBytes(curve.curveIndex)) return GenericMultiplyBase(curve, k, kLength, x, y, infinity);
  return NistResult(NistScalarMulBase(curve.curveIndex, k, x, y), infinity);
}

int NistMultiplyPoint(const EcCurve& curve, const unsigned char* px, const unsigned char* py,
                      const unsigned char* k, int kLength, unsigned char* x, unsigned char* y, int& infinity) {
  if (kLength != NistCurveBytes(curve.curveIndex)) {
    return GenericMultiplyPoint(curve, px, py, k, kLength, x, y, infinity);
  }
  return NistResult(NistScalarMul(curve.curveIndex, k, px, py, x, y), infinity);
}

int NistMultiplyTwo(const EcCurve& curve, const unsigned char* u1, const unsigned char* u2, int uLength,
                    const unsigned char* qx, const unsigned char* qy, unsigned char* x, unsigned char* y,
                    int& infinity) {
  if (uLength != NistCurveBytes(curve.curveIndex)) {
    return GenericMultiplyTwo(curve, u1, u2, uLength, qx, qy, x, y, infinity);
  }
  return NistResult(NistDoubleScalarMulVartime(curve.curveIndex, u1, u2, qx, qy, x, y), infinity);
}

int NistMatchTwoX(const EcCurve& curve, const unsigned char* u1, const unsigned char* u2, int uLength,
                  const unsigned char* qx, const unsigned char* qy, const unsigned char* r, int& match) {
  match = 0;
  if (uLength != NistCurveBytes(curve.curveIndex)) return kEcBadCurve;
  int infinity = 0;
  return NistResult(NistDoubleScalarMulMatchesX(curve.curveIndex, u1, u2, qx, qy, r, &match), infinity);
}

constexpr EccPointOps kNistOps = {NistMultiplyBase, NistMultiplyPoint, NistMultiplyTwo, NistMatchTwoX};

// One row per prebuilt curve (P-256, P-384, P-521).
const EccPointOps* const kPrebuiltOps[3] = {&kNistOps, &kNistOps, &kNistOps};

std::atomic<int> g_genericOnly{0};

}  // namespace

const EccPointOps& EccPointOpsFor(const EcCurve& curve) {
  if (curve.curveIndex >= 0 && curve.curveIndex <= 2 && &curve == EcCurve::FindPrebuilt(curve.curveIndex) &&
      g_genericOnly.load(std::memory_order_relaxed) == 0) {
    return *kPrebuiltOps[curve.curveIndex];
  }
  return kGenericOps;
}

void EccUseGenericMultiply(int on) { g_genericOnly.store(on != 0 ? 1 : 0, std::memory_order_relaxed); }

namespace {

void InvertThroughModule(const EcCurve& curve, const EccScalarField& f, const EccScalarField::Limbs a,
                         EccScalarField::Limbs out, bool publicValue) {
  const int width = f.bytes;
  if (&EccPointOpsFor(curve) != &kNistOps || width != NistCurveBytes(curve.curveIndex)) {
    f.Invert(a, out);
    return;
  }
  // Plain bytes across the seam, converted by fixed-length loops: no
  // leading-zero skip on the secret value.
  EccScalarField::Limbs plain;
  unsigned char in[EccPointOps::kMaxBytes], inv[EccPointOps::kMaxBytes];
  f.FromMont(a, plain);
  f.Store(plain, in, width);
  // The status follows the curve index alone, checked above; the generic
  // inversion stands in should the module ever refuse.
  const int status = publicValue ? NistScalarInverseVartime(curve.curveIndex, in, inv)
                                 : NistScalarInverse(curve.curveIndex, in, inv);
  if (status == kNistOk) {
    std::memset(plain, 0, sizeof plain);
    for (int i = 0; i < width; ++i) plain[i / 8] |= static_cast<uint64_t>(inv[width - 1 - i]) << (8 * (i % 8));
    f.ToMont(plain, out);
  } else {
    f.Invert(a, out);
  }
  SecureWipe(plain, sizeof plain);
  SecureWipe(in, sizeof in);
  SecureWipe(inv, sizeof inv);
}

}  // namespace

void EccInvertScalar(const EcCurve& curve, const EccScalarField& f, const EccScalarField::Limbs a,
                     EccScalarField::Limbs out) {
  InvertThroughModule(curve, f, a, out, false);
}

void EccInvertPublicScalar(const EcCurve& curve, const EccScalarField& f, const EccScalarField::Limbs a,
                           EccScalarField::Limbs out) {
  InvertThroughModule(curve, f, a, out, true);
}

bool EccPointOnCurve(const EcCurve& curve, const unsigned char* x, const unsigned char* y) {
  if (&EccPointOpsFor(curve) == &kNistOps && curve.FieldBytes() == NistCurveBytes(curve.curveIndex)) {
    return NistIsOnCurve(curve.curveIndex, x, y) == 1;
  }
  GenericCurve c;
  EcBigInt px, py;
  if (c.Init(curve) != 0 || c.Element(x, px) != 0 || c.Element(y, py) != 0) return false;
  if (c.binary) return EcPointMath::BinaryIsOnCurve(px, py, c.a, c.b, c.p) != 0;
  return EcPointMath::IsOnCurve(px, py, c.a, c.b, c.p, c.reductionId) != 0;
}

bool EccBelowModulus(const EcCurve& curve, const unsigned char* v, int length) {
  const unsigned char* p = curve.p.Bytes();
  int pLength = curve.p.Length();
  while (length > 0 && v[0] == 0) {
    ++v;
    --length;
  }
  while (pLength > 0 && p[0] == 0) {
    ++p;
    --pLength;
  }
  if (length != pLength) return length < pLength;
  for (int i = 0; i < length; ++i) {
    if (v[i] != p[i]) return v[i] < p[i];
  }
  return false;
}

}  // namespace tornell
