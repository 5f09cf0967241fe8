#include "crypto/ecc/curve/EcKey.h"

#include <cstring>

#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/curve/EcStatus.h"

namespace tornell {

namespace {

const char* const kCurveOids[] = {"1.2.840.10045.3.1.7", "1.3.132.0.34", "1.3.132.0.35"};

// Widest coordinate of any named curve (sect571: 72 bytes); a point of a key
// whose curve is not known yet may not be wider.
constexpr int kWidestField = 72;

}  // namespace

EcKey::~EcKey() = default;

int EcKey::Clear() {
  curveIndex = -1;
  int status = 0;
  if ((status = D.Clear()) != 0 || (status = X.Clear()) != 0 || (status = Y.Clear()) != 0 ||
      (status = edPrivate.Clear()) != 0 || (status = edPublic.Clear()) != 0) {
    return status;
  }
  return 0;
}

int EcKey::CopyFrom(const EcKey& other) {
  if (&other == this) return 0;
  int status = 0;
  if ((status = D.Assign(other.D)) != 0 || (status = X.Assign(other.X)) != 0 || (status = Y.Assign(other.Y)) != 0 ||
      (status = edPrivate.Assign(other.edPrivate)) != 0 || (status = edPublic.Assign(other.edPublic)) != 0) {
    return status;
  }
  curve = other.curve;
  curveIndex = other.curveIndex;
  return 0;
}

int EcKey::SetPublicPoint(ByteString& point) {
  int status = 0;
  if (point.Length() > 0 && point.Bytes()[0] == 0x00 && (status = point.EraseFront(1)) != 0) return status;
  if (point.Length() < 1 || point.Bytes()[0] != 0x04) return kEcBadPoint;
  const int half = (point.Length() - 1) / 2;
  // Coordinates from certificates and key files are checked against the
  // field before anything sizes a number by them.
  const EcCurve* known = GetCurve();
  const int limit = known != nullptr ? known->FieldBytes() : kWidestField;
  if (half > limit) return kEcBadPoint;
  if ((status = X.Set(point.Data() + 1, half)) != 0 || (status = Y.Set(point.Data() + 1 + half, half)) != 0) {
    return status;
  }
  return 0;
}

int EcKey::SetCurveByOid(const char* oidText) {
  if (oidText == nullptr) return kEcUnknownCurve;
  for (int i = 0; i < 3; ++i) {
    if (std::strcmp(oidText, kCurveOids[i]) == 0) {
      curveIndex = i;
      return 0;
    }
  }
  return kEcUnknownCurve;
}

bool EcKey::IsEdwardsKey() const { return curveIndex == eckeycurve::kEd25519 || curveIndex == eckeycurve::kEd448; }

bool EcKey::HasPrivateKey() const { return IsEdwardsKey() ? edPrivate.Length() > 0 : D.Length() > 0; }

bool EcKey::HasPublicKey() const {
  return IsEdwardsKey() ? edPublic.Length() > 0 : (X.Length() > 0 && Y.Length() > 0);
}

EcCurve* EcKey::GetCurve() {
  // The cached curve follows the current index, so a key reused for another
  // curve never answers with the old one.
  if (curve == nullptr || curve->curveIndex != curveIndex) curve = EcCurve::FindPrebuilt(curveIndex);
  return curve;
}

int EcKey::GetPublicPoint(int compressed, ByteString& out) {
  EcCurve* c = GetCurve();
  if (c == nullptr) return kEcBadCurve;
  const int w = c->FieldBytes();
  ByteString fx, fy;
  int status = 0;
  if ((status = FitToWidth(X.Data(), X.Length(), w, fx)) != 0 || (status = FitToWidth(Y.Data(), Y.Length(), w, fy)) != 0) {
    return status;
  }
  return EcCurve::EncodePoint(fx, fy, *c, compressed, 0, out);
}

int EcKey::FitToWidth(const char* bytes, int length, int width, ByteString& out) {
  if (bytes == nullptr) return 0;
  if (length < 0) length = 0;
  int status = 0;
  if (length >= width) {
    int skip = 0;
    while (length - skip > width && static_cast<unsigned char>(bytes[skip]) == 0) ++skip;
    return out.Set(bytes + skip, length - skip);
  }
  ByteString fitted;
  if ((status = fitted.AppendRepeated(width - length, 0)) != 0 || (status = fitted.Append(bytes, length)) != 0) {
    return status;
  }
  return out.Assign(fitted);
}

}  // namespace tornell
