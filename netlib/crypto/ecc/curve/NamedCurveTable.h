#pragma once
// Published parameters of the named curves, as upper-case hex text.

namespace tornell {

struct NamedCurveParams {
  int index;
  int kind;  // 0 NIST prime, 1 other prime, 2 binary with a NIST polynomial, 3 other binary
  int reductionId;
  int degree, k1, k2, k3;  // binary fields
  int cofactor;
  const char* p;
  const char* a;
  const char* b;
  const char* gx;
  const char* gy;
  const char* n;
  const char* seed;
};

extern const NamedCurveParams kNamedCurves[];
extern const int kNamedCurveCount;

}  // namespace tornell
