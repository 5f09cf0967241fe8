#include "tls/suites/DhParameters.h"

#include <cstring>
#include <new>
#include <vector>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"
#include "core/text/SecretBytes.h"
#include "crypto/bigint/BigIntStatus.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/engine/EccEngine.h"
#include "crypto/ecc/nist/NistCurve.h"
#include "crypto/random/RandomSource.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/suites/DhPrimes.h"

namespace tornell {
namespace {

constexpr int kExportBits = 512;

// TLS group numbers of the curve indices 19 to 32 are 1 to 14.
constexpr int kFirstBinaryCurveIndex = 19;
constexpr int kLastBinaryCurveIndex = 32;
constexpr int kExplicitCurveIndex = 79;
constexpr int kExplicitPrimeCurvesGroup = 0xFF01;
constexpr int kExplicitChar2CurvesGroup = 0xFF02;

struct CurveGroup {
  int index;
  int group;
};
constexpr CurveGroup kCurveGroups[] = {{0, 23}, {1, 24}, {2, 25}, {7, 15}, {8, 16},  {9, 17},
                                       {10, 18}, {11, 19}, {12, 20}, {13, 21}, {14, 22}};

BigInteger FromHex(const char* text) { return BigInteger(text, static_cast<int>(std::strlen(text)), 16, 1); }

int TextBits(const char* text) { return 4 * static_cast<int>(std::strlen(text)); }

BigInteger FromBytes(const ByteString& bytes) { return BigInteger(bytes.Bytes(), bytes.Length(), 1); }

// Clears a value's limbs in place before the value is dropped.
void Wipe(BigInteger& value) {
  auto& limbs = const_cast<std::vector<limb::Limb>&>(value.Magnitude());
  SecureWipe(limbs.data(), limbs.size() * sizeof(limb::Limb));
  value = BigInteger();
}

}  // namespace

DhParameters::~DhParameters() { WipeSecrets(); }

void DhParameters::WipeSecrets() {
  if (finiteField != 0) {
    Wipe(x);
    Wipe(sharedSecret);
  }
  SecureWipe(ownKey.D.Data(), static_cast<size_t>(ownKey.D.Length()));
}

int DhParameters::Reset() {
  WipeSecrets();
  if (finiteField != 0) {
    g = BigInteger();
    p = BigInteger();
    clientPublic = BigInteger();
    serverPublic = BigInteger();
    finiteField = 0;
  }
  bits = 0;
  groupId = 0;
  isClient = 1;
  useEc = 0;
  TORNELL_TRY(ownKey.Clear());
  return peerKey.Clear();
}

int DhParameters::SetupGroup(int exportGroup, int sizeOrGroup, int namedGroup) {
  if (useEc != 0) return GenerateEcKey();
  int wanted = sizeOrGroup;
  if (namedGroup != 0) {
    groupId = sizeOrGroup;
    if (tls::GroupSize(sizeOrGroup, wanted) != kStatusOk) return kNotFiniteFieldGroup;
  }
  finiteField = 1;
  g = BigInteger(2);
  if (exportGroup != 0) {
    p = FromHex(dhprimes::ExportPrime());
    bits = kExportBits;
    return GenerateKeyPair();
  }
  const auto prime = namedGroup != 0 ? dhprimes::NamedPrime : dhprimes::BySizePrime;
  const int count = namedGroup != 0 ? dhprimes::kNamedCount : dhprimes::kBySizeCount;
  const char* chosen = prime(0);
  // The first entry unless a later one has exactly the size asked for.
  for (int i = 1; i < count && TextBits(chosen) < wanted; ++i) {
    if (TextBits(prime(i)) == wanted) chosen = prime(i);
  }
  p = FromHex(chosen);
  bits = TextBits(chosen);
  return GenerateKeyPair();
}

// RFC 7919 section 5.2: an exponent of twice the group's strength serves as
// well as one of the prime's size, at a fraction of the cost.
int DhParameters::ExponentBits() const {
  switch (groupId) {
    case 256: return 225;
    case 257: return 275;
    case 258: return 325;
    case 259: return 375;
    case 260: return 400;
    default: return bits;
  }
}

int DhParameters::GenerateKeyPair() {
  if (useEc != 0) return GenerateEcKey();
  if (p.Signum() <= 0) return bigint_status::kModulusNotPositive;
  RandomSource random;
  finiteField = 1;
  Wipe(x);
  x = BigInteger(ExponentBits(), random);
  BigInteger own;
  TORNELL_TRY(g.ModPowBounded(x, ExponentBits(), p, own));
  return SetOwnPublic(own);
}

int DhParameters::GenerateEcKey() {
  EccEngine engine;
  TORNELL_TRY(engine.SetAlternatePath(0));
  TORNELL_TRY(engine.SetCurveIndex(curveIndex));
  const int status = engine.GenerateKey(1, ownKey);
  SecureWipe(engine.D.Data(), static_cast<size_t>(engine.D.Length()));
  TORNELL_TRY(status);
  bits = 8 * ownKey.X.Length();
  return kStatusOk;
}

int DhParameters::SetGroup(int group, int keepGroupId) {
  curveIndex = GroupToCurveIndex(group);
  if (keepGroupId != 0) groupId = group;
  return kStatusOk;
}

int DhParameters::SetG(const ByteString& bytes) {
  finiteField = 1;
  g = FromBytes(bytes);
  return kStatusOk;
}

int DhParameters::SetP(const ByteString& bytes) {
  finiteField = 1;
  p = FromBytes(bytes);
  bits = 8 * bytes.Length();
  return kStatusOk;
}

// 1 < Y < p-1 (RFC 7919 section 5.1): 0, 1 and p-1 would force the secret,
// and a value at or above p is no group element.
int DhParameters::CheckPeerValue(const BigInteger& value) const {
  if (p.Signum() <= 0) return kBadPeerPublic;
  const BigInteger top = p.Subtract(BigInteger::ONE);
  if (value.CompareTo(BigInteger::ONE) <= 0 || value.CompareTo(top) >= 0) return kBadPeerPublic;
  return kStatusOk;
}

// The coordinates fitted to the field's width and checked on the curve: an
// unchecked point could lead the scalar multiplication into a small subgroup.
int DhParameters::CheckPeerPoint(const ByteString& px, const ByteString& py, ByteString& fx, ByteString& fy) const {
  const int width = NistCurveBytes(curveIndex);
  if (width < 0) return kEcBadCurve;
  if (px.Length() > width || py.Length() > width) return kBadPeerPublic;
  TORNELL_TRY(EcKey::FitToWidth(px.Data(), px.Length(), width, fx));
  TORNELL_TRY(EcKey::FitToWidth(py.Data(), py.Length(), width, fy));
  if (fx.Length() != width || fy.Length() != width) return kBadPeerPublic;
  return NistIsOnCurve(curveIndex, fx.Bytes(), fy.Bytes()) == 1 ? kStatusOk : kBadPeerPublic;
}

int DhParameters::SetPeerPublic(const ByteString& bytes) {
  if (useEc == 0) return SetPeerPublicValue(FromBytes(bytes));
  ByteString point, px, py;
  TORNELL_TRY(point.Assign(bytes));
  TORNELL_TRY(EccEngine::DecodeUncompressedPoint(point, px, py));
  // 04 X Y with both halves of the field's length, nothing more or less.
  if (point.Length() != 1 + 2 * NistCurveBytes(curveIndex)) {
    return NistCurveBytes(curveIndex) < 0 ? kEcBadCurve : kBadPeerPublic;
  }
  TORNELL_TRY(SetPeerPoint(px, py));
  bits = 8 * px.Length();
  return kStatusOk;
}

int DhParameters::SetPeerPoint(const ByteString& px, const ByteString& py) {
  ByteString fx, fy;
  TORNELL_TRY(CheckPeerPoint(px, py, fx, fy));
  TORNELL_TRY(peerKey.X.Assign(px));
  TORNELL_TRY(peerKey.Y.Assign(py));
  bits = 8 * px.Length();
  return kStatusOk;
}

int DhParameters::GetOwnPublic(ByteString& out) {
  if (useEc != 0) return ownKey.GetPublicPoint(0, out);
  return (isClient != 0 ? clientPublic : serverPublic).ToByteString(out);
}

int DhParameters::GetOwnPublicPadded(ByteString& out) {
  TORNELL_TRY(GetOwnPublic(out));
  return useEc != 0 ? kStatusOk : tls::FitToLength(out, bits / 8);
}

int DhParameters::SetOwnPublic(const BigInteger& value) {
  if (useEc != 0) return kStatusOk;
  finiteField = 1;
  (isClient != 0 ? clientPublic : serverPublic) = value;
  return kStatusOk;
}

int DhParameters::SetPeerPublicValue(const BigInteger& value) {
  if (useEc != 0) return kStatusOk;
  TORNELL_TRY(CheckPeerValue(value));
  finiteField = 1;
  (isClient != 0 ? serverPublic : clientPublic) = value;
  return kStatusOk;
}

int DhParameters::ComputeSharedSecret() {
  if (useEc != 0) return kStatusOk;
  // The peer slot is only ever filled through the check; test again for a
  // value that never came (zero).
  TORNELL_TRY(CheckPeerValue(PeerValue()));
  finiteField = 1;
  Wipe(sharedSecret);
  return PeerValue().ModPowBounded(x, ExponentBits(), p, sharedSecret);
}

int DhParameters::GetSharedSecret(ByteString& out) {
  if (useEc != 0) {
    if (ownKey.curveIndex != curveIndex) return kCurveMismatch;
    peerKey.curveIndex = curveIndex;
    peerKey.curve = EcCurve::FindPrebuilt(curveIndex);
    return EccEngine::ComputeSharedSecret(ownKey.D, peerKey, 0, out);
  }
  if (sharedSecret.BitLength() < 1) TORNELL_TRY(ComputeSharedSecret());
  return sharedSecret.ToByteString(out);
}

int DhParameters::GetSharedSecretPadded(ByteString& out) {
  if (useEc != 0) return GetSharedSecret(out);
  if (sharedSecret.BitLength() < 1) TORNELL_TRY(ComputeSharedSecret());
  // Written at the prime's length directly: Z is below p, and no step's
  // length follows the secret's leading zero bytes.
  TORNELL_TRY(out.Resize(bits / 8));
  sharedSecret.ToBytes(out.Bytes(), bits / 8);
  return kStatusOk;
}

int DhParameters::CopyFrom(const DhParameters& other) {
  if (this == &other) return kStatusOk;
  if (finiteField != 0 || other.finiteField != 0) {
    g = other.g;
    p = other.p;
    // Assignment wipes the storage it replaces.
    x = other.x;
    sharedSecret = other.sharedSecret;
    clientPublic = other.clientPublic;
    serverPublic = other.serverPublic;
    finiteField = other.finiteField;
  }
  bits = other.bits;
  groupId = other.groupId;
  isClient = other.isClient;
  curveIndex = other.curveIndex;
  useEc = other.useEc;
  TORNELL_TRY(ownKey.CopyFrom(other.ownKey));
  return peerKey.CopyFrom(other.peerKey);
}

DhParameters* DhParameters::Clone() const {
  auto* copy = new (std::nothrow) DhParameters();
  if (copy != nullptr && copy->CopyFrom(*this) != kStatusOk) {
    delete copy;
    copy = nullptr;
  }
  return copy;
}

int DhParameters::CurveIndexToGroup(int index) {
  for (const CurveGroup& entry : kCurveGroups) {
    if (entry.index == index) return entry.group;
  }
  if (index >= kFirstBinaryCurveIndex && index <= kLastBinaryCurveIndex) return index - kFirstBinaryCurveIndex + 1;
  if (index == kExplicitCurveIndex) return kExplicitPrimeCurvesGroup;
  return -1;
}

int DhParameters::GroupToCurveIndex(int group) {
  for (const CurveGroup& entry : kCurveGroups) {
    if (entry.group == group) return entry.index;
  }
  if (group >= 1 && group <= kLastBinaryCurveIndex - kFirstBinaryCurveIndex + 1) {
    return group + kFirstBinaryCurveIndex - 1;
  }
  if (group == kExplicitPrimeCurvesGroup || group == kExplicitChar2CurvesGroup) return kExplicitCurveIndex;
  return -1;
}

}  // namespace tornell
