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

  int LoadNamedCurve(int index);
  int SetParameters(const ByteString& pIn, const ByteString& aIn, const ByteString& bIn,
                    const ByteString& encodedGenerator, const ByteString& seedIn, const ByteString& nIn,
                    int cofactorIn);
  int IdentifyCurve();
  static EcCurve* FindPrebuilt(int index);

  int SetReduction(int id);
  int SetModulus(const void* bytes, int length);
  int SetDegree(int m);
  int SetK1(int k);
  int SetK2(int k);
  int SetK3(int k);
  int BuildPolynomial();
  int SetFieldType(int type);

  int FieldBits() const;
  int FieldBytes() const;
  static int BitLength(const ByteString& bytes);
  bool IsComplete() const;
  bool Equals(const EcCurve& other) const;
  static bool ValuesEqual(const ByteString& x, const ByteString& y);
  int CopyFrom(const EcCurve& other);

  static int EncodePoint(const ByteString& X, const ByteString& Y, const EcCurve& curve, int compressed, int hybrid,
                         ByteString& out);
  static int DecodePoint(const ByteString& encoded, const EcCurve& curve, int& ok, ByteString& X, ByteString& Y);
  static int HexToBytes(const char* text, int minLength, ByteString& out);
  // Bytes to an EcBigInt; with widthSource, widened to its word count (1419 when wider).
  static int ToEcBigInt(const ByteString& bytes, const EcBigInt* widthSource, EcBigInt& out);

  static int SetP256(EcCurve& curve);
  static int SetP384(EcCurve& curve);
  static int SetP521(EcCurve& curve);
};

// P-256, P-384 and P-521, built during static initialisation.
extern EcCurve PrebuiltCurves[3];

}  // namespace tornell
