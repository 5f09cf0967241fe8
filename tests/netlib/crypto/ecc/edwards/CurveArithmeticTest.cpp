// Field, point, scalar and table checks for Curve25519 and Curve448, against
// Python integers where a reference value is needed.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "VectorTools.h"
#include "crypto/ecc/edwards/Ed448Tables.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

using namespace tornell;
using namespace edtest;
using M = tornell::EdwardsMath;

namespace {

const char* kL = "edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010";
const char* kQ =
    "f34458ab92c27823558fc58d72c26c219036d6ae49db4ec4e923ca7cffffffffffffffffffffffffffffffffffffffffffffffffffffff3f";

std::string Enc25519(const Ed25519ExtendedPoint& p) {
  unsigned char b[32];
  M::EncodeEd25519Point(b, 32, p);
  return ToHex(b, 32);
}

std::string Enc448(const Ed448ExtensiblePoint& p) {
  unsigned char b[57];
  M::EncodeEd448Point(b, 57, p);
  return ToHex(b, 57);
}

void Words(uint32_t* w, const Bytes& b) {
  std::memset(w, 0, 14 * sizeof(uint32_t));
  for (size_t i = 0; i < b.size() && i < 56; ++i) w[i / 4] |= static_cast<uint32_t>(b[i]) << (8 * (i % 4));
}

std::string WordsHex(const uint32_t* w) {
  unsigned char b[56];
  M::Scalar448Encode(b, w, 56);
  return ToHex(b, 56);
}

}  // namespace

TEST(Curve25519Arithmetic, BaseTableMatchesItsGenerator) {
  REQUIRE_OR_SKIP(HavePython(), "python3 missing");
  const auto root = ProjectRoot();
  const std::string committed = testsupport::ReadFileText(root / "netlib/crypto/ecc/edwards/Ed25519Tables.inc");
  bool ran = false;
  const std::string generated =
      testsupport::RunCommand("/usr/bin/python3 " + (root / "scripts/gen_ed25519_tables.py").string(), ran);
  ASSERT_TRUE(ran);
  EXPECT_GT(generated.size(), 60000u);
  EXPECT_TRUE(generated == committed);
}

TEST(Curve25519Arithmetic, PointsAndEncodings) {
  unsigned char one[32] = {1};
  Ed25519ExtendedPoint B, p;
  ASSERT_EQ(M::Ed25519MultiplyBase(B, one, 32), 0);
  EXPECT_EQ(Enc25519(B), "5866666666666666666666666666666666666666666666666666666666666666");
  ASSERT_EQ(M::Ed25519MultiplyBase(p, FromHex(kL).data(), 32), 0);
  EXPECT_EQ(Enc25519(p), "01" + std::string(62, '0'));
  unsigned char enc[33];
  Ed25519ProjectivePoint proj;
  M::Ed25519ExtendedToProjective(proj, B);
  EXPECT_EQ(M::EncodeEd25519Projective(enc, 33, proj), kEdwardsShortBuffer);
  EXPECT_EQ(M::EncodeEd25519Point(enc, 33, B), 0);
  // Decoding yields the negation: its encoding differs in bit 255 only.
  ASSERT_EQ(M::DecodeEd25519PointNegated(p, enc, 32), 1);
  EXPECT_EQ(Enc25519(p), "58666666666666666666666666666666666666666666666666666666666666e6");
  // a*A + b*B with one scalar zero.
  unsigned char zero[32] = {};
  Ed25519ExtendedPoint A;
  unsigned char seven[32] = {7};
  M::Ed25519MultiplyBase(A, seven, 32);
  M::Ed25519DoubleScalarMultiply(proj, zero, 32, A, one, 32);
  M::EncodeEd25519Projective(enc, 32, proj);
  EXPECT_EQ(ToHex(enc, 32), Enc25519(B));
  M::Ed25519DoubleScalarMultiply(proj, one, 32, A, zero, 32);
  M::EncodeEd25519Projective(enc, 32, proj);
  EXPECT_EQ(ToHex(enc, 32), Enc25519(A));
}

TEST(Curve25519Arithmetic, ScalarsAgainstPythonIntegers) {
  REQUIRE_OR_SKIP(HavePython(), "python3 missing");
  auto rows = RunPython(
      "import os\nL=2**252+27742317777372353535851937790883648493\n"
      "h=lambda v,n:v.to_bytes(n,'little').hex()\n"
      "for i in range(40):\n"
      " x=int.from_bytes(os.urandom(64),'little') if i else 2**512-1\n"
      " a,b,c=[int.from_bytes(os.urandom(32),'little') for _ in range(3)]\n"
      " print(h(x,64), h(x%L,32), h(a,32), h(b,32), h(c,32), h((a*b+c)%L,32))\n");
  ASSERT_EQ(rows.size(), 40u);
  for (const auto& r : rows) {
    Bytes x = FromHex(r[0]);
    ASSERT_EQ(M::Scalar25519Reduce(x.data(), 64), 0);
    EXPECT_EQ(ToHex(x.data(), 32), r[1]);
    unsigned char s[32];
    ASSERT_EQ(M::Scalar25519MulAdd(s, 32, FromHex(r[2]).data(), 32, FromHex(r[3]).data(), 32, FromHex(r[4]).data(),
                                   32),
              0);
    EXPECT_EQ(ToHex(s, 32), r[5]);
  }
  Bytes lz = FromHex(kL);
  lz.resize(64, 0);
  ASSERT_EQ(M::Scalar25519Reduce(lz.data(), 64), 0);
  EXPECT_EQ(ToHex(lz.data(), 32), std::string(64, '0'));
  unsigned char s[32];
  EXPECT_EQ(M::Scalar25519MulAdd(s, 32, lz.data(), 32, lz.data(), 32, lz.data(), 31), kEdwardsShortBuffer);
}

TEST(Curve448Arithmetic, FieldEdgeCases) {
  Fe448 a, b, c, d;
  const Bytes p = FromHex(
      "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffeffffffffffffffffffffffffffffffffffffffffffffffffffffff");
  EXPECT_EQ(M::Fe448Decode(a, p.data(), 56), 0);
  Bytes v(56);
  for (int i = 0; i < 56; ++i) v[i] = static_cast<unsigned char>(i * 37 + 11);
  ASSERT_EQ(M::Fe448Decode(a, v.data(), 56), 1);
  unsigned char out[56];
  ASSERT_EQ(M::Fe448Encode(out, 56, a), 0);
  EXPECT_EQ(ToHex(out, 56), ToHex(v));
  EXPECT_EQ(M::Fe448Encode(out, 55, a), kEdwardsShortBuffer);
  // Multiplying into an operand gives the product.
  for (int i = 0; i < 56; ++i) v[i] = static_cast<unsigned char>(i * 91 + 5);
  M::Fe448Decode(b, v.data(), 56);
  M::Fe448Mul(c, a, b);
  d = a;
  M::Fe448Mul(d, d, b);
  EXPECT_NE(M::Fe448Equal(c, d), 0u);
  M::Fe448Mul(d, b, b);
  M::Fe448Square(c, b);
  EXPECT_NE(M::Fe448Equal(c, d), 0u);
  // Inverses: 1/0 = 0 and one zero in a batch zeroes every output.
  M::Fe448Invert(c, a);
  M::Fe448Mul(d, c, a);
  Fe448 one;
  M::Fe448One(one);
  EXPECT_NE(M::Fe448Equal(d, one), 0u);
  Fe448 zero;
  M::Fe448Zero(zero);
  M::Fe448Invert(c, zero);
  EXPECT_NE(M::Fe448IsZero(c), 0u);
  Fe448 in[3] = {a, zero, b}, inv[3];
  M::Fe448BatchInvert(inv, in, 3);
  for (const Fe448& f : inv) EXPECT_NE(M::Fe448IsZero(f), 0u);
  Fe448 in2[3] = {a, b, one}, inv2[3];
  M::Fe448BatchInvert(inv2, in2, 3);
  M::Fe448Mul(d, inv2[1], b);
  EXPECT_NE(M::Fe448Equal(d, one), 0u);
}

TEST(Curve448Arithmetic, BasePointAndMultiplications) {
  const std::string encodedB =
      "14fa30f25b790898adc8d74e2c13bdfdc4397ce61cffd33ad7c2a0051e9c78874098a36c7373ea4b62c7c9563720768824bcb66e71463f6900";
  const Ed448ExtensiblePoint& B = Ed448Tables::BaseExtensible();
  EXPECT_EQ(Enc448(B), encodedB);
  Ed448ExtensiblePoint p, q, r;
  ASSERT_EQ(M::DecodeEd448Point(p, FromHex(encodedB).data(), 57), 1);
  EXPECT_EQ(M::Ed448ExtensibleEqual(p, B), 1);
  EXPECT_NE(M::Ed448ExtensibleOnCurve(B), 0u);
  Ed448AffinePoint alt;
  EXPECT_EQ(M::Ed448AlternateBasePoint(alt), 0);

  uint32_t k[14] = {1};
  ASSERT_EQ(M::Ed448MultiplyBase(p, k, 14), 0);
  EXPECT_EQ(M::Ed448ExtensibleEqual(p, B), 1);
  EXPECT_EQ(M::Ed448MultiplyBase(p, k, 13), kEdwardsShortBuffer);
  Words(k, FromHex(kQ));
  ASSERT_EQ(M::Ed448MultiplyBase(p, k, 14), 0);
  EXPECT_EQ(Enc448(p), "01" + std::string(112, '0'));

  for (int round = 0; round < 3; ++round) {
    Bytes kb(56);
    for (int i = 0; i < 56; ++i) kb[i] = static_cast<unsigned char>(i * (round + 3) + round * 17);
    kb[55] &= 0x3F;
    Words(k, kb);
    M::Scalar448Reduce(k, 14, 0);
    ASSERT_EQ(M::Ed448MultiplyBase(p, k, 14), 0);
    M::Ed448MultiplyBaseFixed(q, k);
    EXPECT_EQ(M::Ed448ExtensibleEqual(p, q), 1);
    r = B;
    ASSERT_EQ(M::Ed448MultiplyPointBits(r, k, 14), 0);
    EXPECT_EQ(M::Ed448ExtensibleEqual(p, r), 1);
    // The twisted product and the twisted image of the plain one agree
    // after one doubling each.
    Ed448TwistedExtensiblePoint comb, twisted;
    ASSERT_EQ(M::Ed448MultiplyBaseComb(comb, k, 448), 1);
    M::Ed448TwistPoint(twisted, p);
    M::Ed448TwistedDouble(comb);
    M::Ed448TwistedDouble(twisted);
    EXPECT_EQ(M::Ed448PointsEqual(comb, twisted), 1);
    EXPECT_NE(M::Ed448TwistedOnCurve(comb), 0u);
    // The variable-base window multiplication agrees with the comb.
    Ed448TwistedExtensiblePoint windowed = Ed448Tables::BaseTwisted();
    M::Ed448MultiplyPoint(windowed, k);
    M::Ed448TwistedDouble(windowed);
    EXPECT_EQ(M::Ed448PointsEqual(comb, windowed), 1);
    // Halving, multiplying on the twist, then untwisting and doubling gives
    // exactly k*B, with no (0, -1) left over.
    Ed448ExtensiblePoint back;
    uint32_t half[14];
    M::Scalar448Halve(half, k);
    ASSERT_EQ(M::Ed448MultiplyBaseComb(comb, half, 448), 1);
    M::Ed448UntwistAndDouble(back, comb);
    EXPECT_EQ(M::Ed448ExtensibleEqual(back, p), 1);
  }
  // The single coordinate round-trips for B (up to the point (0, -1),
  // which its twisted image cannot tell apart) and the square tests hold
  // for a point that is twice another.
  Fe448 coordinate;
  M::Ed448ExtensibleCoordinate(coordinate, B);
  Ed448AffinePoint fromCoordinate, negated;
  ASSERT_NE(M::Ed448AffineFromCoordinate(fromCoordinate, coordinate), 0u);
  EXPECT_NE(M::Ed448AffineOnCurve(fromCoordinate), 0u);
  M::Fe448Neg(negated.x, Ed448Tables::Base().x);
  M::Fe448Neg(negated.y, Ed448Tables::Base().y);
  EXPECT_EQ(M::Ed448AffineEqual(fromCoordinate, Ed448Tables::Base()) | M::Ed448AffineEqual(fromCoordinate, negated),
            1);
  Ed448ExtensiblePoint twiceB = B;
  M::Ed448Double(twiceB);
  EXPECT_NE(M::Ed448ZSquareTest(twiceB), 0u);
  EXPECT_NE(M::Ed448TwistedZSquareTest(Ed448Tables::BaseTwisted()), 0u);
  Ed448TwistedExtensiblePoint t = Ed448Tables::BaseTwisted(), identity;
  uint32_t zero[14] = {};
  EXPECT_EQ(M::Ed448DoubleScalarMultiply(t, zero, 446, zero, 446), 0);
  M::Ed448TwistedIdentity(identity);
  EXPECT_EQ(M::Ed448PointsEqual(t, identity), 1);
}

TEST(Curve448Arithmetic, MultiplesAndTablesAgainstPythonIntegers) {
  REQUIRE_OR_SKIP(HavePython(), "python3 missing");
  auto rows = RunPython(
      "import runpy, os\n"
      "r=runpy.run_path('" +
      (TestDir() / "eddsa_reference.py").string() +
      "')\nC=r['ED448']\n"
      "for i in [1, 2, 100, 447]:\n"
      " print('bit', i, C.encode(C.mul(2**i, C.B)).hex())\n"
      "for row, j in [(0,0),(0,7),(17,3),(55,7)]:\n"
      " print('fixed', row*8+j, C.encode(C.mul((j+1)*256**row, C.B)).hex())\n"
      "for j in [0, 5, 31]:\n"
      " print('odd', j, C.encode(C.mul(2*j+1, C.B)).hex())\n"
      "k=int.from_bytes(os.urandom(56),'little')%C.q\n"
      "print('mul', k.to_bytes(56,'little').hex(), C.encode(C.mul(k, C.B)).hex())\n");
  ASSERT_EQ(rows.size(), 12u);
  const Ed448ExtensiblePoint* bits = Ed448Tables::BitTable();
  for (const auto& r : rows) {
    const int i = r[0] == "mul" ? 0 : std::stoi(r[1]);
    if (r[0] == "bit") {
      EXPECT_EQ(Enc448(bits[i]), r[2]) << "bit " << i;
    } else if (r[0] == "fixed" || r[0] == "odd") {
      const Ed448BaseEntry& e = r[0] == "fixed" ? Ed448Tables::FixedRow(i / 8)[i % 8] : Ed448Tables::OddMultiples()[i];
      Ed448ExtensiblePoint p;
      Ed448AffinePoint a{e.x, e.y};
      M::Ed448FromAffine(p, a);
      EXPECT_EQ(Enc448(p), r[2]) << r[0] << " " << i;
      Fe448 dxy;
      M::Fe448Mul(dxy, e.x, e.y);
      M::Fe448MulWord(dxy, dxy, 39081);
      M::Fe448Add(dxy, dxy, e.dxy);
      EXPECT_NE(M::Fe448IsZero(dxy), 0u);
    } else {
      uint32_t k[14];
      Words(k, FromHex(r[1]));
      Ed448ExtensiblePoint p;
      M::Ed448MultiplyBaseFixed(p, k);
      EXPECT_EQ(Enc448(p), r[2]);
    }
  }
}

TEST(Curve448Arithmetic, ScalarsAgainstPythonIntegers) {
  REQUIRE_OR_SKIP(HavePython(), "python3 missing");
  auto rows = RunPython(
      "import os\nq=2**446-13818066809895115352007386748515426880336692474882178609894547503885\n"
      "h=lambda v,n:v.to_bytes(n,'little').hex()\n"
      "for i in range(30):\n"
      " x=int.from_bytes(os.urandom(114),'little') if i else 2**912-1\n"
      " a,b,c=[int.from_bytes(os.urandom(56),'little')%q for _ in range(3)]\n"
      " print(h(x,114), h(x%q,56), h(a,56), h(b,56), h(c,56), h((a*b+c)%q,56), h((q-c)%q or q,56), h((c*pow(2,q-2,q))%q,56))\n");
  ASSERT_EQ(rows.size(), 30u);
  for (const auto& r : rows) {
    uint32_t x[14], a[14], b[14], c[14];
    const Bytes xb = FromHex(r[0]);
    ASSERT_EQ(M::Scalar448DecodeReduce(x, xb.data(), 114), 0);
    EXPECT_EQ(WordsHex(x), r[1]);
    Words(a, FromHex(r[2]));
    Words(b, FromHex(r[3]));
    Words(c, FromHex(r[4]));
    uint32_t acc[14];
    std::memcpy(acc, c, sizeof(acc));
    ASSERT_EQ(M::Scalar448MulAdd(acc, 14, a, 14, b, 14, 1), 0);
    EXPECT_EQ(WordsHex(acc), r[5]);
    std::memcpy(acc, c, sizeof(acc));
    ASSERT_EQ(M::Scalar448Negate(acc, 14), 0);
    EXPECT_EQ(WordsHex(acc), r[6]);
    M::Scalar448Halve(acc, c);
    EXPECT_EQ(WordsHex(acc), r[7]);
  }
  // q reduces to 0, q - 1 stays, negating 0 gives q; decoding tells q apart.
  uint32_t w[14];
  Words(w, FromHex(kQ));
  EXPECT_EQ(M::Scalar448Decode(w, FromHex(kQ).data(), 56), 0u);
  ASSERT_EQ(M::Scalar448Reduce(w, 14, 0), 0);
  EXPECT_EQ(WordsHex(w), std::string(112, '0'));
  ASSERT_EQ(M::Scalar448Negate(w, 14), 0);
  EXPECT_EQ(WordsHex(w), kQ);
  // A short input is read as far as it goes, never beyond.
  const Bytes three = {3, 0, 0};
  EXPECT_EQ(M::Scalar448Decode(w, three.data(), 3), 0xFFFFFFFFu);
  EXPECT_EQ(w[0], 3u);
  Bytes qm1 = FromHex(kQ);
  qm1[0] -= 1;
  EXPECT_EQ(M::Scalar448Decode(w, qm1.data(), 56), 0xFFFFFFFFu);
  ASSERT_EQ(M::Scalar448Reduce(w, 14, 0), 0);
  EXPECT_EQ(WordsHex(w), ToHex(qm1));
}

TEST(Curve448Arithmetic, SlidingWindowRecodingSumsToTheScalar) {
  // 120-bit scalars, so the sum fits an unsigned 128-bit integer.
  uint32_t k[14] = {};
  WnafTerm terms[64];
  EXPECT_EQ(M::Ed448RecodeWnaf(terms, k, 120, 4), 0);
  EXPECT_EQ(terms[0].power, -1);
  for (int round = 0; round < 50; ++round) {
    unsigned __int128 want = 0;
    for (int w = 0; w < 4; ++w) {
      k[w] = (round * 2654435761u) ^ (w * 40503u + 0x9E3779B9u * round);
      if (w == 3) k[w] &= 0xFFFFFF;
      want |= static_cast<unsigned __int128>(k[w]) << (32 * w);
    }
    for (int bits : {4, 5}) {
      const int n = M::Ed448RecodeWnaf(terms, k, 120, bits);
      ASSERT_GE(n, 0);
      unsigned __int128 sum = 0;
      for (int i = 0; i < n; ++i) {
        EXPECT_NE(terms[i].addend & 1, 0);
        EXPECT_LT(terms[i].addend < 0 ? -terms[i].addend : terms[i].addend, 1 << (bits + 1));
        if (i > 0) {
          EXPECT_LE(terms[i].power, terms[i - 1].power);
        }
        const int absolute = terms[i].addend < 0 ? -terms[i].addend : terms[i].addend;
        const unsigned __int128 magnitude = static_cast<unsigned __int128>(absolute) << terms[i].power;
        sum = terms[i].addend < 0 ? sum - magnitude : sum + magnitude;
      }
      EXPECT_EQ(terms[n].power, -1);
      EXPECT_TRUE(sum == want) << round << " " << bits;
    }
  }
}
