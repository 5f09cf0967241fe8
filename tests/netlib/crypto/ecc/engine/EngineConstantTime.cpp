// ECDH and ECDSA signing on curves served by the generic point arithmetic
// (brainpoolP256r1, secp256k1, sect283k1), with the private key and the nonce
// secret: the private key's fitting and loading, the point multiplications,
// and the whole secret part of a signature.
#include <cstring>

#include "SecretProbe.h"
#include "crypto/ecc/curve/EcCurve.h"
#include "crypto/ecc/engine/EccEcdsaSign.h"
#include "crypto/ecc/engine/EccEngineMultiply.h"
#include "crypto/ecc/engine/EccEngineScalar.h"

using namespace tornell;

namespace {

using probe::Reveal;
using Limbs = EccScalarField::Limbs;
constexpr int kW = EccPointOps::kMaxBytes;

constexpr int kBrainpoolP256r1 = 70;
constexpr int kSecp256k1 = 14;
constexpr int kSect283k1 = 27;

// Below n on every curve here: the top byte is zero, which the fixed-width
// loads must not skip.
void Fill(unsigned char* b, int n, int salt) {
  for (int i = 0; i < n; ++i) b[i] = (unsigned char)(i * 37 + salt * 11 + 5);
  b[0] = 0;
}

int RunCurve(int index) {
  EcCurve curve(index);
  EccScalarField f;
  if (!curve.IsComplete() || !f.Init(curve.n.Bytes(), curve.n.Length())) return 1;
  const EccPointOps& ops = EccPointOpsFor(curve);
  const int n = f.bytes;
  const int w = curve.FieldBytes();
  int failures = 0;
  // A public peer point, 3·G, computed before any secret exists.
  unsigned char three[kW] = {}, px[kW], py[kW], x[kW], y[kW];
  three[n - 1] = 3;
  int infinity = 0;
  failures += ops.multiplyBase(curve, three, n, px, py, infinity) != 0 || infinity != 0;

  unsigned char d[kW], k[kW], scalar[kW];
  Fill(d, n, 1);
  Fill(k, n, 2);
  probe::MarkSecret(d, n);
  probe::MarkSecret(k, n);

  // ECDH: the private key fitted to the order's width, then d·P.
  bool fits = EccFitBytes(d, n, n, scalar);
  Reveal(&fits, sizeof fits);
  failures += !fits;
  int st = ops.multiplyPoint(curve, px, py, scalar, n, x, y, infinity);
  Reveal(&st, sizeof st);
  Reveal(&infinity, sizeof infinity);
  Reveal(x, w);
  Reveal(y, w);
  failures += st != 0 || infinity != 0;

  // ECDSA: the key and the nonce loaded at fixed width, then r and s.
  Limbs dl, kl, e{}, r, s;
  fits = f.Load(d, n, dl) && f.Load(k, n, kl);
  Reveal(&fits, sizeof fits);
  failures += !fits;
  f.Reduce(dl, dl);
  e[0] = 0x0123456789abcdefull;
  st = EccEcdsaSignWith(curve, f, dl, e, kl, r, s);
  Reveal(&st, sizeof st);
  Reveal(r, sizeof r);
  Reveal(s, sizeof s);
  failures += st != 0;
  return failures;
}

int Brainpool() { return RunCurve(kBrainpoolP256r1); }
int Secp256k1() { return RunCurve(kSecp256k1); }
int Sect283k1() { return RunCurve(kSect283k1); }

const probe::Case kCases[] = {
    {"brainpoolP256r1 ecdh and ecdsa", Brainpool},
    {"secp256k1 ecdh and ecdsa", Secp256k1},
    {"sect283k1 ecdh and ecdsa", Sect283k1},
};

}  // namespace

PROBE_MAIN(kCases)
