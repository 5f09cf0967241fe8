#pragma once
// Curve25519 and Curve448 arithmetic: fields, Edwards points, scalars, X25519
// and X448. Everything that touches secret values runs in constant time
// (mask selection, no secret-dependent branches or addresses).
#include <cstdint>

namespace tornell {

constexpr int kEdwardsShortBuffer = 0x90001;  // buffer shorter than required (or not the exact size)
constexpr int kEdwardsZeroResult = 0x90002;   // X25519/X448 gave the all-zero value
constexpr int kEdwardsRange = 0x90003;        // internal range check failed

// GF(2^255 - 19) in five 51-bit limbs, loosely reduced.
struct Fe25519 {
  uint64_t v[5];
};

struct Ed25519ProjectivePoint {
  Fe25519 X, Y, Z;
};
struct Ed25519ExtendedPoint {
  Fe25519 X, Y, Z, T;
};
struct Ed25519CompletedPoint {
  Fe25519 X, Y, Z, T;
};
struct Ed25519PrecompPoint {
  Fe25519 yplusx, yminusx, xy2d;
};
struct Ed25519CachedPoint {
  Fe25519 YplusX, YminusX, Z, T2d;
};

// GF(2^448 - 2^224 - 1) in eight 56-bit limbs, loosely reduced.
struct Fe448 {
  uint64_t v[8];
};

struct Ed448AffinePoint {
  Fe448 x, y;
};
struct Ed448TwistedAffinePoint {
  Fe448 x, y;
};
// (x/z, y/z); t*u = x*y/z.
struct Ed448ExtensiblePoint {
  Fe448 x, y, z, t, u;
};
struct Ed448TwistedExtensiblePoint {
  Fe448 x, y, z, t, u;
};
struct Ed448NielsPoint {
  Fe448 a, b, c;
};
struct Ed448ProjectiveNielsPoint {
  Ed448NielsPoint n;
  Fe448 z;
};

struct Ed448OrderModulus {
  int wordCount;
  uint32_t shift;
  int lowWordCount;
  const uint32_t* lowWords;
};

// One term of a signed sliding-window recoding: addend * 2^power. A recoding
// lists terms by decreasing power and ends with (-1, 0).
struct WnafTerm {
  int power;
  int addend;
};

class EdwardsMath {
 public:
  // ---- GF(2^255 - 19) ----
  static void Fe25519Zero(Fe25519& out);
  static void Fe25519One(Fe25519& out);
  static void Fe25519Copy(Fe25519& out, const Fe25519& in);
  static int Fe25519FromBytes(Fe25519& out, const unsigned char* bytes, int length);
  static int Fe25519ToBytes(unsigned char* out, int outLength, const Fe25519& in);
  static int Fe25519IsNegative(const Fe25519& in);
  static int Fe25519IsNonZero(const Fe25519& in);
  static void Fe25519Add(Fe25519& out, const Fe25519& f, const Fe25519& g);
  static void Fe25519Sub(Fe25519& out, const Fe25519& f, const Fe25519& g);
  static void Fe25519Neg(Fe25519& out, const Fe25519& f);
  static void Fe25519Mul(Fe25519& out, const Fe25519& f, const Fe25519& g);
  static void Fe25519Square(Fe25519& out, const Fe25519& f);
  static void Fe25519SquareDouble(Fe25519& out, const Fe25519& f);
  static void Fe25519Mul121666(Fe25519& out, const Fe25519& f);
  static void Fe25519CSwap(Fe25519& f, Fe25519& g, unsigned flag);
  static void Fe25519CMov(Fe25519& f, const Fe25519& g, unsigned flag);
  static void Fe25519Invert(Fe25519& out, const Fe25519& z);
  static void Fe25519Pow22523(Fe25519& out, const Fe25519& z);

  // ---- edwards25519 points ----
  static void Ed25519ProjectiveZero(Ed25519ProjectivePoint& out);
  static void Ed25519ExtendedZero(Ed25519ExtendedPoint& out);
  static void Ed25519PrecompZero(Ed25519PrecompPoint& out);
  static void Ed25519ExtendedToProjective(Ed25519ProjectivePoint& out, const Ed25519ExtendedPoint& p);
  static void Ed25519ExtendedToCached(Ed25519CachedPoint& out, const Ed25519ExtendedPoint& p);
  static void Ed25519CompletedToProjective(Ed25519ProjectivePoint& out, const Ed25519CompletedPoint& c);
  static void Ed25519CompletedToExtended(Ed25519ExtendedPoint& out, const Ed25519CompletedPoint& c);
  static void Ed25519ProjectiveDouble(Ed25519CompletedPoint& out, const Ed25519ProjectivePoint& p);
  static void Ed25519ExtendedDouble(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p);
  static void Ed25519Add(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p, const Ed25519CachedPoint& q);
  static void Ed25519Sub(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p, const Ed25519CachedPoint& q);
  static void Ed25519MixedAdd(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p, const Ed25519PrecompPoint& q);
  static void Ed25519MixedSub(Ed25519CompletedPoint& out, const Ed25519ExtendedPoint& p, const Ed25519PrecompPoint& q);
  static void Ed25519PrecompCMov(Ed25519PrecompPoint& t, const Ed25519PrecompPoint& u, unsigned flag);
  static void Ed25519SelectBase(Ed25519PrecompPoint& out, int row, int digit);
  static int EncodeEd25519Projective(unsigned char* out, int outLength, const Ed25519ProjectivePoint& p);
  static int EncodeEd25519Point(unsigned char* out, int outLength, const Ed25519ExtendedPoint& p);
  // Returns 1 and the negation of the encoded point; 0 when the bytes are no
  // canonical encoding of a curve point.
  static int DecodeEd25519PointNegated(Ed25519ExtendedPoint& out, const unsigned char* bytes, int length);
  // scalar·B for a little-endian scalar below 2^255 (the top bit is ignored).
  static int Ed25519MultiplyBase(Ed25519ExtendedPoint& out, const unsigned char* scalar, int length);
  static void Ed25519SlideRecode(int digits[256], const unsigned char* scalar, int length);
  static void Ed25519DoubleScalarMultiply(Ed25519ProjectivePoint& out, const unsigned char* a, int aLength,
                                          const Ed25519ExtendedPoint& A, const unsigned char* b, int bLength);

  // ---- scalars mod L = 2^252 + 27742317777372353535851937790883648493 ----
  static int Scalar25519Reduce(unsigned char* s, int length);
  static int Scalar25519MulAdd(unsigned char* s, int sLength, const unsigned char* a, int aLength,
                               const unsigned char* b, int bLength, const unsigned char* c, int cLength);
  // 1 when the 32 bytes are a value below L.
  static int Scalar25519IsCanonical(const unsigned char* s);
  static uint32_t Load3LE(const unsigned char* bytes, int offset);
  static int32_t Load4LE(const unsigned char* bytes, int offset);

  static int X25519Ladder(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                          unsigned char* out, int outLength);
  static int X25519(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                    unsigned char* out, int outLength);

  // ---- GF(2^448 - 2^224 - 1) ----
  static void Fe448Zero(Fe448& out);
  static void Fe448One(Fe448& out);
  static void Fe448SetWord(Fe448& out, uint32_t w);
  static void Fe448Copy(Fe448& out, const Fe448& a);
  static void Fe448WeakReduce(Fe448& a);
  static int Fe448StrongReduce(Fe448& a);
  static void Fe448Add(Fe448& out, const Fe448& a, const Fe448& b);
  static void Fe448Sub(Fe448& out, const Fe448& a, const Fe448& b);
  static void Fe448Neg(Fe448& out, const Fe448& a);
  static void Fe448AddWord(Fe448& a, uint32_t w);
  static void Fe448SubWord(Fe448& a, uint32_t w);
  // Outputs may alias inputs.
  static void Fe448Mul(Fe448& out, const Fe448& a, const Fe448& b);
  static void Fe448Square(Fe448& out, const Fe448& a);
  static void Fe448MulWord(Fe448& out, const Fe448& a, uint64_t w);
  static void Fe448CSwap(Fe448& a, Fe448& b, unsigned flag);
  static void Fe448CNeg(Fe448& a, uint32_t mask);
  static void Fe448CMov(Fe448& a, const Fe448& b, uint32_t mask);
  static uint32_t Fe448IsZero(const Fe448& a);
  static uint32_t Fe448Equal(const Fe448& a, const Fe448& b);
  static void Fe448InverseSqrt(Fe448& out, const Fe448& a);
  static void Fe448Invert(Fe448& out, const Fe448& a);
  static uint32_t Fe448IsSquare(const Fe448& a);
  static void Fe448BatchInvert(Fe448* out, const Fe448* in, int n);
  static int Fe448Decode(Fe448& out, const unsigned char* bytes, int length);
  static int Fe448Encode(unsigned char* bytes, int length, const Fe448& a);
  static int Fe448LowBit(const Fe448& a);

  // ---- edwards448 and its twist ----
  static void Ed448ExtensibleIdentity(Ed448ExtensiblePoint& out);
  static void Ed448TwistedIdentity(Ed448TwistedExtensiblePoint& out);
  static void Ed448NielsClear(Ed448NielsPoint& out);
  static void Ed448FromAffine(Ed448ExtensiblePoint& out, const Ed448AffinePoint& in);
  static void Ed448TwistedFromAffine(Ed448TwistedExtensiblePoint& out, const Ed448TwistedAffinePoint& in);
  static void Ed448NielsFromTwistedAffine(Ed448ProjectiveNielsPoint& out, const Ed448TwistedAffinePoint& in);
  static void Ed448ProjectiveNielsFromTwisted(Ed448ProjectiveNielsPoint& out, const Ed448TwistedExtensiblePoint& in);
  static void Ed448TwistedFromProjectiveNiels(Ed448TwistedExtensiblePoint& out, const Ed448ProjectiveNielsPoint& in);
  static void Ed448TwistedFromNiels(Ed448TwistedExtensiblePoint& out, const Ed448NielsPoint& in);
  static void Ed448TwistedDouble(Ed448TwistedExtensiblePoint& p);
  static void Ed448Double(Ed448ExtensiblePoint& p);
  static void Ed448AddNiels(Ed448TwistedExtensiblePoint& p, const Ed448NielsPoint& q);
  static void Ed448SubNiels(Ed448TwistedExtensiblePoint& p, const Ed448NielsPoint& q);
  static void Ed448AddProjectiveNiels(Ed448TwistedExtensiblePoint& p, const Ed448ProjectiveNielsPoint& q);
  static void Ed448SubProjectiveNiels(Ed448TwistedExtensiblePoint& p, const Ed448ProjectiveNielsPoint& q);
  static void Ed448Add(Ed448ExtensiblePoint& p, const Ed448ExtensiblePoint& q);
  static void Ed448NielsCNeg(Ed448NielsPoint& p, uint32_t mask);
  static void Ed448ProjectiveNielsCNeg(Ed448ProjectiveNielsPoint& p, uint32_t mask);
  static void Ed448TwistPoint(Ed448TwistedExtensiblePoint& out, const Ed448ExtensiblePoint& in);
  static void Ed448Untwist(Ed448ExtensiblePoint& out, const Ed448TwistedExtensiblePoint& in);
  static void Ed448TwistAndDouble(Ed448TwistedExtensiblePoint& out, const Ed448ExtensiblePoint& in);
  static void Ed448UntwistAndDouble(Ed448ExtensiblePoint& out, const Ed448TwistedExtensiblePoint& in);
  static int EncodeEd448Point(unsigned char* bytes, int length, const Ed448ExtensiblePoint& in);
  static int EncodeEd448Twisted(unsigned char* bytes, int length, const Ed448TwistedExtensiblePoint& in);
  // 1 on success; 0 for a short buffer or bytes that are no canonical encoding.
  static int DecodeEd448Point(Ed448ExtensiblePoint& out, const unsigned char* bytes, int length);
  static void EncodeEd448Coordinate(Fe448& out, const Ed448TwistedExtensiblePoint& in);
  static uint32_t DecodeEd448Coordinate(Ed448TwistedExtensiblePoint& out, const Fe448& s);
  static int Ed448PointsEqual(const Ed448TwistedExtensiblePoint& a, const Ed448TwistedExtensiblePoint& b);
  static int Ed448ExtensibleEqual(const Ed448ExtensiblePoint& a, const Ed448ExtensiblePoint& b);
  static int Ed448AffineEqual(const Ed448AffinePoint& a, const Ed448AffinePoint& b);
  static uint32_t Ed448AffineOnCurve(const Ed448AffinePoint& p);
  // Masks: z^2 - x^2 (edwards448) or z^2 + x^2 (twisted) is a square.
  static uint32_t Ed448ZSquareTest(const Ed448ExtensiblePoint& p);
  static uint32_t Ed448TwistedZSquareTest(const Ed448TwistedExtensiblePoint& p);
  // The single-coordinate form of an edwards448 point (that of its twisted
  // image) and its inverse, with a mask that says s decoded.
  static void Ed448ExtensibleCoordinate(Fe448& out, const Ed448ExtensiblePoint& in);
  static uint32_t Ed448AffineFromCoordinate(Ed448AffinePoint& out, const Fe448& s);
  static uint32_t Ed448ExtensibleOnCurve(const Ed448ExtensiblePoint& p);
  static uint32_t Ed448TwistedOnCurve(const Ed448TwistedExtensiblePoint& p);
  // Elligator 2 onto curve448, carried to edwards448 by the 4-isogeny; the
  // isogeny's exceptional points give the identity.
  static void Ed448HashToCurve(Ed448AffinePoint& out, const Fe448& r);
  static int Ed448BasePoint(Ed448AffinePoint& out);
  static int Ed448AlternateBasePoint(Ed448AffinePoint& out);
  static int X448Ladder(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                        unsigned char* out, int outLength);
  static int X448(const unsigned char* scalar, int scalarLength, const unsigned char* u, int uLength,
                  unsigned char* out, int outLength);

  // ---- scalars mod q = 2^446 - c ----
  static uint32_t AddMasked(uint32_t* out, const uint32_t* a, int na, const uint32_t* c, int offset, int nc,
                            uint32_t mask);
  static uint32_t AddInPlace(uint32_t* a, const uint32_t* b, int n);
  static int32_t SubMasked(uint32_t* out, int offset, const uint32_t* a, int na, const uint32_t* c, int nc,
                           uint32_t mask);
  static int MulAccWord(uint32_t* acc, int offset, int accWords, const uint32_t* m, int nm, uint32_t w,
                        uint32_t carryIn, uint32_t* carryOut);
  static int Scalar448Reduce(uint32_t* x, int n, uint32_t h, const Ed448OrderModulus& mod);
  static int Scalar448Reduce(uint32_t* x, int n, uint32_t h);
  static int Scalar448Negate(uint32_t* x, int n, const Ed448OrderModulus& mod);
  static int Scalar448Negate(uint32_t* x, int n);
  static int Scalar448MulAdd(uint32_t* acc, int accWords, const uint32_t* a, int aWords, const uint32_t* b,
                             int bWords, const Ed448OrderModulus& mod, int add);
  static int Scalar448MulAdd(uint32_t* acc, int accWords, const uint32_t* a, int aWords, const uint32_t* b,
                             int bWords, int add);
  static uint32_t Scalar448Decode(uint32_t* out, const unsigned char* bytes, int length,
                                  const Ed448OrderModulus& mod);
  static uint32_t Scalar448Decode(uint32_t* out, const unsigned char* bytes, int length);
  static int Scalar448DecodeReduce(uint32_t* out, const unsigned char* bytes, int length,
                                   const Ed448OrderModulus& mod);
  static int Scalar448DecodeReduce(uint32_t* out, const unsigned char* bytes, int length);
  static void Scalar448Encode(unsigned char* bytes, const uint32_t* words, int length);
  // out = x / 2 mod q (14 words).
  static void Scalar448Halve(uint32_t* out, const uint32_t* x);

  // ---- Ed448 multiplications ----
  static int Ed448MultiplyBase(Ed448ExtensiblePoint& out, const uint32_t* k, int words);
  static int Ed448MultiplyPointBits(Ed448ExtensiblePoint& p, const uint32_t* k, int words);
  static void Ed448MultiplyPoint(Ed448TwistedExtensiblePoint& p, const uint32_t* k);
  static int Ed448MultiplyBaseComb(Ed448TwistedExtensiblePoint& out, const uint32_t* k, int nbits);
  // p = a*p + b*(twisted image of the alternate base point); variable time.
  static int Ed448DoubleScalarMultiply(Ed448TwistedExtensiblePoint& p, const uint32_t* a, int aBits,
                                       const uint32_t* b, int bBits);
  // out = k*B for a reduced 14-word k: signed 4-bit windows over a table of
  // 56 rows, constant time.
  static void Ed448MultiplyBaseFixed(Ed448ExtensiblePoint& out, const uint32_t* k);
  // out = a*B - b*A for 14-word scalars; variable time, for verification.
  static void Ed448DoubleScalarMultiplyVerify(Ed448ExtensiblePoint& out, const uint32_t* a,
                                              const Ed448ExtensiblePoint& A, const uint32_t* b);
  // Signed sliding windows of the nbits-bit scalar k: every addend odd and
  // below 2^(tableBits + 1) in magnitude. terms needs room for
  // nbits / (tableBits + 1) + 3 entries. Returns the term count (without the
  // terminator) or kEdwardsRange.
  static int Ed448RecodeWnaf(WnafTerm* terms, const uint32_t* k, int nbits, int tableBits);
  // Signed digits of a 448-bit scalar: odd, below 2^(w-1) in magnitude.
  static void Ed448SlidingDigits(signed char digits[456], const uint32_t* k, int w);
};

}  // namespace tornell
