#pragma once
// One Diffie-Hellman exchange of the TLS engine, finite-field or elliptic
// curve: the group, the own key pair, the peer's public value and the shared
// secret; with the built-in groups and the map between TLS group numbers and
// curve indices.
#include "core/text/ByteString.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/ecc/curve/EcKey.h"
#include "crypto/ecc/curve/EcStatus.h"

namespace tornell {

class DhParameters {
 public:
  // The peer's public value is outside 1 < Y < p-1, or its point is not on
  // the group's curve (or of the wrong size); the handshake answers alert 47.
  static constexpr int kBadPeerPublic = kEcBadPoint;
  // Own key and peer point are on different curves.
  static constexpr int kCurveMismatch = -1;
  // A named-group number that is no finite-field group.
  static constexpr int kNotFiniteFieldGroup = -1;

  DhParameters() = default;
  explicit DhParameters(int client) : isClient(client) {}
  ~DhParameters();
  DhParameters(const DhParameters&) = delete;
  DhParameters& operator=(const DhParameters&) = delete;

  // Empty again; the curve index stays.
  int Reset();
  int UseEllipticCurve(int) {
    useEc = 1;
    return 0;
  }
  // Chooses a finite-field group (export prime, by size, or a TLS group
  // number when namedGroup is set) and makes the own key pair; with
  // UseEllipticCurve, makes a curve key pair instead.
  [[nodiscard]] int SetupGroup(int exportGroup, int sizeOrGroup, int namedGroup);
  [[nodiscard]] int GenerateKeyPair();
  [[nodiscard]] int GenerateEcKey();

  int SetCurveIndex(int index) {
    curveIndex = index;
    return 0;
  }
  int SetGroup(int group, int keepGroupId);
  int GetCurveGroup() const { return CurveIndexToGroup(curveIndex); }
  int GetCurveIndex() const { return curveIndex; }
  int GetGroupId() const { return groupId; }
  int GetBits() const { return bits; }
  int IsEmpty() const { return bits == 0 ? 1 : 0; }
  int IsClient() const { return isClient; }

  [[nodiscard]] int GetG(ByteString& out) const { return g.ToByteString(out); }
  [[nodiscard]] int GetP(ByteString& out) const { return p.ToByteString(out); }
  int SetG(const ByteString& bytes);
  // bits = 8 x the byte count, whatever the leading byte.
  int SetP(const ByteString& bytes);

  [[nodiscard]] int SetOwnEcKey(const EcKey& key) { return ownKey.CopyFrom(key); }
  // A curve: an uncompressed point 04 X Y on the group's curve. A finite
  // field: the unsigned big-endian value, 1 < Y < p-1.
  [[nodiscard]] int SetPeerPublic(const ByteString& bytes);
  [[nodiscard]] int SetPeerPoint(const ByteString& x, const ByteString& y);
  [[nodiscard]] int GetOwnPublic(ByteString& out);
  // A finite-field value fitted to the prime's byte length.
  [[nodiscard]] int GetOwnPublicPadded(ByteString& out);
  int SetOwnPublic(const BigInteger& value);
  [[nodiscard]] int SetPeerPublicValue(const BigInteger& value);

  [[nodiscard]] int ComputeSharedSecret();
  // Finite field: Z as BigInteger::ToByteString gives it (computed once);
  // curve: the X coordinate of the ECDH point at the field's length.
  [[nodiscard]] int GetSharedSecret(ByteString& out);
  [[nodiscard]] int GetSharedSecretPadded(ByteString& out);

  [[nodiscard]] int CopyFrom(const DhParameters& other);
  // A heap copy, or null when memory or a copy fails.
  DhParameters* Clone() const;

  static int CurveIndexToGroup(int index);
  static int GroupToCurveIndex(int group);

 private:
  const BigInteger& PeerValue() const { return isClient != 0 ? serverPublic : clientPublic; }
  int CheckPeerValue(const BigInteger& value) const;
  int CheckPeerPoint(const ByteString& x, const ByteString& y, ByteString& fx, ByteString& fy) const;
  int ExponentBits() const;
  void WipeSecrets();

  BigInteger g;
  BigInteger p;
  BigInteger x;             // own private exponent
  BigInteger sharedSecret;  // Z, zero until computed
  BigInteger clientPublic;
  BigInteger serverPublic;
  int bits = 0;
  int groupId = 0;
  int isClient = 1;
  EcKey ownKey;
  EcKey peerKey;
  int curveIndex = -1;
  int useEc = 0;
  // Whether the finite-field values above may hold anything: a curve
  // exchange never sets them, and its resets, copies and wipes skip them.
  int finiteField = 0;
};

}  // namespace tornell
