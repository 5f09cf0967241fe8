#pragma once
// Elliptic-curve key material: private scalar and public point of a
// Weierstrass key, or the seed and encoded public key of an Edwards key.
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "crypto/pubkey/AsymmetricKey.h"

namespace tornell {

class EcCurve;

// Key and engine curve numbers; 0 to 2 are also named-curve indices.
namespace eckeycurve {
constexpr int kP256 = 0;
constexpr int kP384 = 1;
constexpr int kP521 = 2;
constexpr int kEd25519 = 3;
constexpr int kEd448 = 4;
}  // namespace eckeycurve

class EcKey : public AsymmetricKey {
 public:
  SecretBytes D;
  ByteString X;
  ByteString Y;
  int curveIndex = -1;
  EcCurve* curve = nullptr;  // into PrebuiltCurves, never owned
  ByteString edPublic;
  SecretBytes edPrivate;

  EcKey() : AsymmetricKey(kEc) {}
  ~EcKey() override;
  EcKey(const EcKey&) = delete;
  EcKey& operator=(const EcKey&) = delete;

  [[nodiscard]] int Clear();
  [[nodiscard]] int CopyFrom(const EcKey& other);
  // Splits a SEC 1 uncompressed point (optionally behind one 0x00) into X and Y.
  [[nodiscard]] int SetPublicPoint(ByteString& point);
  [[nodiscard]] int SetCurveByOid(const char* oidText);
  bool HasPrivateKey() const;
  bool HasPublicKey() const;
  bool IsEdwardsKey() const;
  EcCurve* GetCurve();
  [[nodiscard]] int GetPublicPoint(int compressed, ByteString& out);
  [[nodiscard]] static int FitToWidth(const char* bytes, int length, int width, ByteString& out);
};

}  // namespace tornell
