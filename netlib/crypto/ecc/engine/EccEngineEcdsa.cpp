// ECDSA, ECDH, key generation and the key-pair check on the prebuilt curves.
#include <cstring>

#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcStatus.h"
#include "crypto/ecc/engine/EccEcdsaSign.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/ecc/engine/EccEngineMultiply.h"
#include "crypto/ecc/engine/EccEngineScalar.h"

namespace tornell {

namespace {

using Limbs = EccScalarField::Limbs;
constexpr int kW = EccPointOps::kMaxBytes;
// Restarts of the signing loop for r = 0 or s = 0, each of probability about 2^-256.
constexpr int kSignAttempts = 16;

const unsigned char* U(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

// Copies one of the fixed-size buffers above into a string.
int SetFrom(ByteString& out, const unsigned char* buffer, int length) {
  return out.Set(buffer, length < kW ? length : kW);
}

// Deriving the order's Montgomery constants takes hundreds of shifts, so those
// of the three prebuilt curves are derived once, on first use, and then only
// read, like the curves themselves.
struct PrebuiltOrders {
  EccScalarField field[3];
  bool ready[3] = {};
  PrebuiltOrders() {
    for (int i = 0; i < 3; ++i) {
      const EcCurve& c = PrebuiltCurves[i];
      ready[i] = field[i].Init(c.n.Bytes(), c.n.Length());
    }
  }
};

bool InitOrder(const EcCurve& curve, EccScalarField& f) {
  static const PrebuiltOrders prebuilt;
  const int length = curve.n.Length();
  for (int i = 0; i < 3; ++i) {
    const ByteString& n = PrebuiltCurves[i].n;
    if (prebuilt.ready[i] && n.Length() == length && std::memcmp(n.Bytes(), curve.n.Bytes(), length) == 0) {
      f = prebuilt.field[i];
      return true;
    }
  }
  return f.Init(curve.n.Bytes(), length);
}

// The leftmost bits of the hash, as many as n has, reduced mod n.
void HashToScalar(const EccScalarField& f, const unsigned char* hash, int length, Limbs e) {
  const int take = length * 8 > f.bits ? (f.bits + 7) / 8 : length;
  Limbs v{};
  f.Load(hash, take, v);
  const int drop = take * 8 > f.bits ? take * 8 - f.bits : 0;
  if (drop > 0) {
    for (int i = 0; i < f.limbs; ++i) {
      const uint64_t next = i + 1 < f.limbs ? v[i + 1] : 0;
      v[i] = (v[i] >> drop) | (next << (64 - drop));
    }
  }
  f.Reduce(v, e);
}

// A big-endian value in 1..n-1, loaded; false otherwise.
bool LoadRange(const EccScalarField& f, const unsigned char* v, int length, Limbs out) {
  if (!f.Load(v, length, out)) return false;
  return f.ZeroMask(out) == 0 && f.BelowN(out);
}

// The peer or public point fitted to the field width, below p and on the curve.
bool LoadPoint(const EcCurve& curve, const ByteString& x, const ByteString& y, unsigned char* px,
               unsigned char* py) {
  const int w = curve.FieldBytes();
  if (x.Length() == 0 || y.Length() == 0 || w <= 0 || w > kW) return false;
  if (!EccFitBytes(x.Bytes(), x.Length(), w, px) || !EccFitBytes(y.Bytes(), y.Length(), w, py)) return false;
  if (!EccBelowModulus(curve, px, w) || !EccBelowModulus(curve, py, w)) return false;
  return EccPointOnCurve(curve, px, py);
}

}  // namespace

int EccEngine::GenerateKey(int /*includePrivate*/, EcKey& key) {
  if (IsEdwardsCurve()) return EdwardsGenerate(key);
  key.curveIndex = curveIndex;
  // Looked up afresh: a pointer cached for an earlier index would name the wrong curve.
  key.curve = EcCurve::FindPrebuilt(curveIndex);
  EcCurve* c = key.curve;
  EccScalarField f;
  if (c == nullptr || !c->IsComplete() || !InitOrder(*c, f)) return kEcBadCurve;
  const int w = c->FieldBytes();
  Limbs d;
  f.Random(random, d);
  unsigned char db[kW], x[kW], y[kW];
  f.Store(d, db, f.bytes);
  int infinity = 0;
  int status = EccPointOpsFor(*c).multiplyBase(*c, db, f.bytes, x, y, infinity);
  if (status == 0 && infinity != 0) status = kEcBadCurve;
  if (status == 0) status = SetFrom(key.D, db, f.bytes);
  if (status == 0) status = SetFrom(key.X, x, w);
  if (status == 0) status = SetFrom(key.Y, y, w);
  SecureWipe(d, sizeof d);
  SecureWipe(db, sizeof db);
  if (status != 0) return status;
  status = X.Assign(key.X);
  if (status == 0) status = Y.Assign(key.Y);
  if (status == 0) status = D.Assign(key.D);
  curve = c;
  return status;
}

int EccEcdsaSignWith(const EcCurve& curve, const EccScalarField& f, const Limbs d, const Limbs e, const Limbs k,
                     Limbs r, Limbs s) {
  const int w = curve.FieldBytes();
  Limbs km, kinv, rm, t;
  unsigned char kb[kW], x[kW], y[kW];
  f.Store(k, kb, f.bytes);
  int infinity = 0;
  const int status = EccPointOpsFor(curve).multiplyBase(curve, kb, f.bytes, x, y, infinity);
  SecureWipe(kb, sizeof kb);
  if (status != 0) return status;
  // x may be wider than n: loaded whole (below R), then reduced.
  const uint64_t fits = ct::MaskFromBit<uint64_t>(f.Load(x, w, r) ? 1 : 0);
  f.Reduce(r, r);
  f.ToMont(k, km);
  EccInvertScalar(curve, f, km, kinv);  // k^-1·R
  f.ToMont(r, rm);
  f.MontMul(d, rm, t);    // d·r
  f.Add(t, e, t);         // e + d·r
  f.MontMul(t, kinv, s);  // k^-1·(e + d·r)
  const uint64_t infinite = ct::IsNonZero(static_cast<uint64_t>(infinity));
  const uint64_t retry = infinite | ~fits | f.ZeroMask(r) | f.ZeroMask(s);
  const uint64_t badKey = f.ZeroMask(d);
  SecureWipe(km, sizeof km);
  SecureWipe(kinv, sizeof kinv);
  SecureWipe(t, sizeof t);
  SecureWipe(y, sizeof y);
  return static_cast<int>(
      ct::Select<uint64_t>(badKey, kEcBadCurve, ct::Select<uint64_t>(retry, kEcdsaRetry, 0)));
}

int EccEngine::SignHash(const char* hash, int hashLength, ByteString& signature) {
  int status = LoadCurve();
  if (status != 0) return status;
  EccScalarField f;
  if (D.Length() == 0 || !InitOrder(*curve, f)) return kEcBadCurve;
  Limbs d, e, k, r, s;
  if (!f.Load(D.Bytes(), D.Length(), d)) return kEcBadCurve;
  f.Reduce(d, d);
  HashToScalar(f, U(hash), hashLength > 0 ? hashLength : 0, e);
  status = kEcdsaRetry;
  for (int attempt = 0; attempt < kSignAttempts && status == kEcdsaRetry; ++attempt) {
    f.Random(random, k);
    status = EccEcdsaSignWith(*curve, f, d, e, k, r, s);
  }
  SecureWipe(k, sizeof k);
  SecureWipe(d, sizeof d);
  if (status == kEcdsaRetry) status = kEcBadCurve;
  if (status != 0) return status;
  ByteString rb, sb;
  status = rb.SetLength(f.bytes);
  if (status == 0) status = sb.SetLength(f.bytes);
  if (status != 0) return status;
  f.Store(r, rb.Bytes(), f.bytes);
  f.Store(s, sb.Bytes(), f.bytes);
  if (rawSignature == 0) return PublicKeyAlgorithm::EncodeDerSignature(rb, sb, signature);
  status = signature.Assign(rb);
  if (status == 0) status = signature.Append(sb);
  return status;
}

int EccEngine::VerifyHash(const char* hash, int hashLength, const char* signature, int signatureLength,
                          int& valid) {
  valid = 0;
  int status = LoadCurve();
  if (status != 0) return status;
  SignaturePair pair;
  const unsigned char* rp;
  const unsigned char* sp;
  int rLength, sLength;
  if (PublicKeyAlgorithm::DecodeDerSignature(signature, signatureLength, pair) == 1) {
    rp = pair.r.Bytes();
    rLength = pair.r.Length();
    sp = pair.s.Bytes();
    sLength = pair.s.Length();
  } else {
    const int half = FieldLengthOf(curveIndex);
    if (signatureLength <= half) return 0;
    rp = U(signature);
    rLength = half;
    sp = U(signature) + half;
    sLength = signatureLength - half;
  }
  EccScalarField f;
  if (X.Length() == 0 || Y.Length() == 0 || !InitOrder(*curve, f)) return kEcBadCurve;
  unsigned char qx[kW], qy[kW];
  if (!LoadPoint(*curve, X, Y, qx, qy)) return 0;
  Limbs r, s, e, sm, wm, u1, u2, xr;
  if (!LoadRange(f, rp, rLength, r) || !LoadRange(f, sp, sLength, s)) return 0;
  HashToScalar(f, U(hash), hashLength > 0 ? hashLength : 0, e);
  f.ToMont(s, sm);
  EccInvertPublicScalar(*curve, f, sm, wm);
  f.MontMul(e, wm, u1);
  f.MontMul(r, wm, u2);
  unsigned char b1[kW], b2[kW], x[kW], y[kW];
  f.Store(u1, b1, f.bytes);
  f.Store(u2, b2, f.bytes);
  const EccPointOps& ops = EccPointOpsFor(*curve);
  if (ops.matchTwoX != nullptr && f.bytes == curve->FieldBytes()) {
    unsigned char rb[kW];
    f.Store(r, rb, f.bytes);
    return ops.matchTwoX(*curve, b1, b2, f.bytes, qx, qy, rb, valid);
  }
  int infinity = 0;
  status = ops.multiplyTwo(*curve, b1, b2, f.bytes, qx, qy, x, y, infinity);
  if (status != 0 || infinity != 0) return status;
  if (!f.Load(x, curve->FieldBytes(), xr)) return 0;
  f.Reduce(xr, xr);
  valid = f.Compare(xr, r) == 0 ? 1 : 0;
  return 0;
}

int EccEngine::ComputeSharedSecret(ByteString& privateD, EcKey& peer, int useCofactor, ByteString& secret) {
  const EcCurve* c = peer.GetCurve();
  if (c == nullptr || !c->IsComplete()) return kEcBadCurve;
  const int w = c->FieldBytes();
  unsigned char px[kW], py[kW], x[kW], y[kW];
  // An unchecked point off the curve or of small order would give away bits of the private scalar.
  if (!LoadPoint(*c, peer.X, peer.Y, px, py)) return kEcBadPoint;
  EccScalarField f;
  if (!InitOrder(*c, f)) return kEcBadCurve;
  const int cofactor = useCofactor != 0 && c->cofactor > 1 ? c->cofactor : 1;
  // Room for the scalar times a cofactor up to 2^16.
  const int width = cofactor > 1 ? f.bytes + 2 : f.bytes;
  unsigned char scalar[kW + 2];
  if (privateD.Length() == 0 || !EccFitBytes(privateD.Bytes(), privateD.Length(), width, scalar)) {
    return kEcPrivateMissing;
  }
  if (cofactor > 1) {
    unsigned carry = 0;
    for (int i = width - 1; i >= 0; --i) {
      const unsigned v = scalar[i] * static_cast<unsigned>(cofactor) + carry;
      scalar[i] = static_cast<unsigned char>(v);
      carry = v >> 8;
    }
  }
  int infinity = 0;
  int status = EccPointOpsFor(*c).multiplyPoint(*c, px, py, scalar, width, x, y, infinity);
  SecureWipe(scalar, sizeof scalar);
  SecureWipe(y, sizeof y);
  if (status == 0 && infinity != 0) status = kEcBadPoint;
  if (status == 0) status = SetFrom(secret, x, w);
  SecureWipe(x, sizeof x);
  return status;
}

int EccEngine::CheckKeyPair(EcCurve& c, ByteString& d, ByteString& x, ByteString& y, int& valid) {
  valid = 0;
  const bool hasPoint = x.Length() > 0 && y.Length() > 0;
  if (d.Length() == 0 && !hasPoint) return 0;
  const int w = c.FieldBytes();
  unsigned char px[kW], py[kW];
  if (hasPoint) {
    if (!LoadPoint(c, x, y, px, py)) return 0;
    valid = 1;
  }
  if (d.Length() == 0) return 0;
  EccScalarField f;
  Limbs dl;
  valid = 0;
  if (!InitOrder(c, f) || !LoadRange(f, d.Bytes(), d.Length(), dl)) return 0;
  valid = 1;
  if (!hasPoint) return 0;
  unsigned char db[kW], qx[kW], qy[kW];
  f.Store(dl, db, f.bytes);
  int infinity = 0;
  const int status = EccPointOpsFor(c).multiplyBase(c, db, f.bytes, qx, qy, infinity);
  SecureWipe(db, sizeof db);
  SecureWipe(dl, sizeof dl);
  valid = status == 0 && infinity == 0 && std::memcmp(qx, px, static_cast<size_t>(w)) == 0 &&
                  std::memcmp(qy, py, static_cast<size_t>(w)) == 0
              ? 1
              : 0;
  return status;
}

}  // namespace tornell
