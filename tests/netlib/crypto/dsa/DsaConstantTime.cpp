// DSA signing with the private key and the nonce secret.
#include "SecretProbe.h"
#include "crypto/dsa/DsaEngine.h"
#include "crypto/dsa/DsaSignCore.h"
#include "crypto/pubkey/KeyNumbers.h"

using namespace tornell;

namespace {

int Sign() {
  DsaEngine engine;
  engine.keyBits = 1024;
  DsaKey key;
  if (engine.GenerateKey(1, key, 0) != 0) return 1;
  const BigInteger p = keynum::FromField(key.p), q = keynum::FromField(key.q), g = keynum::FromField(key.g);
  DsaGroup group;
  DsaGroupInit(group, p, q, g);
  const size_t kq = group.mq.k;
  std::vector<limb::Limb> x(kq), k(kq), h(kq), r(kq), s(kq);
  keynum::LoadFixed(key.x.Bytes(), size_t(key.x.Length()), x.data(), kq);
  for (size_t i = 0; i < kq; ++i) k[i] = x[i] ^ 0x5555555555555555ULL, h[i] = 0x1234567 + i;
  k[kq - 1] = x[kq - 1] >> 1, h[kq - 1] = 0;  // both below q
  probe::MarkSecret(x.data(), kq * sizeof(limb::Limb));
  probe::MarkSecret(k.data(), kq * sizeof(limb::Limb));
  DsaSignCore(group, x.data(), k.data(), h.data(), r.data(), s.data());
  probe::Reveal(r.data(), kq * sizeof(limb::Limb));
  probe::Reveal(s.data(), kq * sizeof(limb::Limb));
  // The signature must verify: the arithmetic ran, not only the timing.
  ByteString sig, hb;
  std::vector<uint8_t> rb(20), sb(20), hh(20);
  keynum::StoreFixed(r.data(), kq, rb.data(), 20);
  keynum::StoreFixed(s.data(), kq, sb.data(), 20);
  keynum::StoreFixed(h.data(), kq, hh.data(), 20);
  if (sig.Set(rb.data(), 20) != 0 || sig.Append(reinterpret_cast<const char*>(sb.data()), 20) != 0) return 1;
  int valid = 0;
  if (engine.VerifyHash(reinterpret_cast<const char*>(hh.data()), 20, sig.Data(), sig.Length(), valid) != 0) return 1;
  return valid == 1 ? 0 : 1;
}

const probe::Case kCases[] = {{"dsa sign", Sign}};

}  // namespace

PROBE_MAIN(kCases)
