#pragma once
// The working form of a loaded RSA key: its numbers, a Montgomery context per
// odd modulus and the blinding pair. Built once per key, so repeated
// operations on one engine skip the parsing and the context set-up.
#include <vector>

#include "crypto/bigint/BigInteger.h"
#include "crypto/bigint/Montgomery.h"
#include "crypto/rsa/RsaKey.h"

namespace tornell {

class RandomSource;

struct RsaKeyState {
  RsaKey source;  // the fields the state was built from
  BigInteger n, e, d, p, q, dP, dQ, qInv;
  bool hasN = false, hasE = false, hasD = false, hasCrt = false;
  bool fastN = false;    // n odd and above 2: ctxN is set up
  bool fastCrt = false;  // CRT through ctxP and ctxQ
  Montgomery ctxN, ctxP, ctxQ;
  std::vector<limb::Limb> qInvMont;  // qInv * R mod p
  // Blinding pair in Montgomery form modulo n: A and A^-d; both are squared
  // after every use so no two operations share a factor.
  std::vector<limb::Limb> blind, unblind;
  bool blindingReady = false;
};

// Fills the state from the key's fields (absent fields stay unset).
void RsaKeyStateInit(RsaKeyState& st, const RsaKey& key);
// Whether the state was built from exactly these fields.
bool RsaKeyStateMatches(const RsaKeyState& st, const RsaKey& key);
// c = m^e mod n.
int RsaPublicRaw(RsaKeyState& st, const BigInteger& m, BigInteger& c);
// result = m^d mod n, blinded whenever n is odd. 1111 when the key holds
// neither n with d nor the CRT values.
int RsaPrivateRaw(RsaKeyState& st, RandomSource& random, const BigInteger& m, BigInteger& result);

}  // namespace tornell
