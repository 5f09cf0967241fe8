// The edwards448 hash-to-curve map against a plain-integer reference.
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "VectorTools.h"
#include "crypto/ecc/edwards/EdwardsMath.h"

namespace {

using tornell::Ed448AffinePoint;
using tornell::EdwardsMath;
using tornell::Fe448;
using namespace edtest;

std::string EncodeFe(const Fe448& a) {
  unsigned char b[56];
  EXPECT_EQ(EdwardsMath::Fe448Encode(b, 56, a), 0);
  return ToHex(b, 56);
}

TEST(Ed448HashToCurve, AgreesWithReferenceOnEdgeAndRandomInputs) {
  REQUIRE_OR_SKIP(testsupport::HavePythonModule("os"), "python3 missing");
  auto rows = RunPython("import runpy, sys\nsys.argv=['x','300']\nrunpy.run_path('" +
                        (TestDir() / "ed448_map_reference.py").string() + "', run_name='__main__')\n");
  ASSERT_GE(rows.size(), 300u);
  for (const auto& r : rows) {
    ASSERT_EQ(r.size(), 3u);
    const Bytes in = FromHex(r[0]);
    Fe448 fe;
    ASSERT_EQ(EdwardsMath::Fe448Decode(fe, in.data(), 56), 1);
    Ed448AffinePoint q;
    EdwardsMath::Ed448HashToCurve(q, fe);
    EXPECT_EQ(EncodeFe(q.x), r[1]) << r[0];
    EXPECT_EQ(EncodeFe(q.y), r[2]) << r[0];
    EXPECT_EQ(EdwardsMath::Ed448AffineOnCurve(q), 0xFFFFFFFFu) << r[0];
  }
}

// r = 0, 1 and p - 1 give u = 0, v = 0 on curve448, whose image is the identity.
TEST(Ed448HashToCurve, ZeroIntermediateGivesIdentity) {
  Fe448 r;
  Ed448AffinePoint q, id;
  EdwardsMath::Fe448Zero(id.x);
  EdwardsMath::Fe448One(id.y);
  for (int k = 0; k < 3; ++k) {
    EdwardsMath::Fe448Zero(r);
    if (k > 0) EdwardsMath::Fe448SetWord(r, 1);
    if (k == 2) EdwardsMath::Fe448Neg(r, r);
    EdwardsMath::Ed448HashToCurve(q, r);
    EXPECT_EQ(EdwardsMath::Ed448AffineEqual(q, id), 1) << k;
  }
}

}  // namespace
