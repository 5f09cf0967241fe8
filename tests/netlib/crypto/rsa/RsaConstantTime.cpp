// The RSA private operation with the key's private values secret: CRT (both
// processor paths) and plain d, on the raw block that signing and
// decryption share.
#include "SecretProbe.h"
#include "core/cpu/CpuFeatures.h"
#include "crypto/random/RandomSource.h"
#include "crypto/rsa/RsaEngine.h"
#include "crypto/rsa/RsaKeyState.h"

using namespace tornell;

namespace {

void MarkVector(const std::vector<limb::Limb>& v) { probe::MarkSecret(v.data(), v.size() * sizeof(limb::Limb)); }

void MarkContext(const Montgomery& c) {
  MarkVector(c.mod);
  MarkVector(c.rr);
  MarkVector(c.rrr);
  probe::MarkSecret(&c.n0, sizeof c.n0);
}

// One key, generated once; the probe runs the state without e, so the fault
// check (a comparison whose result is public) stays out of the marked run.
int Run(bool crt) {
  static RsaKey key;
  static bool made = false;
  if (!made) {
    RsaEngine gen;
    if (gen.SetKeySize(1024) != 0 || gen.GenerateKey(1, key, 0) != 0) return 1;
    made = true;
  }
  RsaKey use;
  if (use.n.Assign(key.n) != 0 || use.d.Assign(key.d) != 0) return 1;
  if (crt && (use.p.Assign(key.p) != 0 || use.q.Assign(key.q) != 0 || use.dP.Assign(key.dP) != 0 ||
              use.dQ.Assign(key.dQ) != 0 || use.qInv.Assign(key.qInv) != 0))
    return 1;
  RsaKeyState st;
  RsaKeyStateInit(st, use);
  if (st.fastCrt != crt) return 1;
  RandomSource random;
  uint8_t out[128];
  const BigInteger warm(int64_t(12345));
  // The first operation builds the blinding pair from public randomness.
  if (RsaPrivateFixed(st, random, warm, out, sizeof out) != 0) return 1;
  MarkVector(st.dFixed);
  MarkVector(st.dPFixed);
  MarkVector(st.dQFixed);
  MarkVector(st.qInvMont);
  MarkVector(st.blind);
  MarkVector(st.unblind);
  if (crt) {
    MarkContext(st.ctxP);
    MarkContext(st.ctxQ);
  }
  int failures = 0;
  for (uint32_t path : {~0u, 0u}) {
    cpu::ScopedRestrict restrict(path);
    uint8_t block[128];
    for (int i = 0; i < 128; ++i) block[i] = uint8_t(i * 7 + 1);
    block[0] = 0;
    const BigInteger m(block, 128, 1);
    int st2 = RsaPrivateFixed(st, random, m, out, sizeof out);
    probe::Reveal(&st2, sizeof st2);
    failures += st2 != 0;
    probe::Reveal(out, sizeof out);
  }
  return failures;
}

int WithCrt() { return Run(true); }
int WithoutCrt() { return Run(false); }

const probe::Case kCases[] = {{"rsa private, crt", WithCrt}, {"rsa private, plain d", WithoutCrt}};

}  // namespace

PROBE_MAIN(kCases)
