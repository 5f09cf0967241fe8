#pragma once
// Domain parameters of one Weierstrass curve over GF(p) or GF(2^m), held as
// big-endian bytes, with the named-curve loader and the SEC 1 point forms.
#include "core/text/ByteString.h"
#include "crypto/ecc/curve/EcBigInt.h"

namespace tornell {

namespace ecfield {
constexpr int kUnset = 0x6000;
constexpr int kPrime = 0x6001;
constexpr int kBinary = 0x6002;
}  // namespace ecfield

constexpr int kCustomCurveIndex = 79;

class EcCurve {
 public:
  ByteString p;  // prime, or the reduction polynomial of a binary field
  ByteString a;
  ByteString b;
  ByteString Gx;
  ByteString Gy;
  ByteString seed;
  ByteString n;
  int cofactor = 1;
  int degree = 0;
  int k1 = 0;
  int k2 = 0;
  int k3 = 0;
  int reductionId = 0x6000;
  int fieldType = ecfield::kUnset;
  int curveIndex = -1;

  EcCurve() = default;
  explicit EcCurve(int index);  // loads a named curve; its status is not kept
  EcCurve(const EcCurve&) = delete;
  EcCurve& operator=(const EcCurve&) = delete;

  [[nodiscard]] int LoadNamedCurve(int index);
  [[nodiscard]] int SetParameters(const ByteString& pIn, const ByteString& aIn, const ByteString& bIn,
                                  const ByteString& encodedGenerator, const ByteString& seedIn, const ByteString& nIn,
                                  int cofactorIn);
  [[nodiscard]] int IdentifyCurve();
  static EcCurve* FindPrebuilt(int index);

  [[nodiscard]] int SetReduction(int id);
  [[nodiscard]] int SetModulus(const void* bytes, int length);
  [[nodiscard]] int SetDegree(int m);
  [[nodiscard]] int SetK1(int k);
  [[nodiscard]] int SetK2(int k);
  [[nodiscard]] int SetK3(int k);
  [[nodiscard]] int BuildPolynomial();
  [[nodiscard]] int SetFieldType(int type);

  [[nodiscard]] int FieldBits() const;
  [[nodiscard]] int FieldBytes() const;
  [[nodiscard]] static int BitLength(const ByteString& bytes);
  bool IsComplete() const;
  bool Equals(const EcCurve& other) const;
  static bool ValuesEqual(const ByteString& x, const ByteString& y);
  [[nodiscard]] int CopyFrom(const EcCurve& other);

  [[nodiscard]] static int EncodePoint(const ByteString& X, const ByteString& Y, const EcCurve& curve, int compressed,
                                       int hybrid, ByteString& out);
  [[nodiscard]] static int DecodePoint(const ByteString& encoded, const EcCurve& curve, int& ok, ByteString& X,
                                       ByteString& Y);
  [[nodiscard]] static int HexToBytes(const char* text, int minLength, ByteString& out);
  // Bytes to an EcBigInt; with widthSource, widened to its word count (1419 when wider).
  [[nodiscard]] static int ToEcBigInt(const ByteString& bytes, const EcBigInt* widthSource, EcBigInt& out);

  [[nodiscard]] static int SetP256(EcCurve& curve);
  [[nodiscard]] static int SetP384(EcCurve& curve);
  [[nodiscard]] static int SetP521(EcCurve& curve);
};

// P-256, P-384 and P-521, built during static initialisation.
extern EcCurve PrebuiltCurves[3];

}  // namespace tornell
