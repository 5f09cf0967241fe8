#pragma once
// The working form of a loaded RSA key: its numbers, a Montgomery context per
// odd modulus and the blinding pair. Built once per key, so repeated
// operations on one engine skip the parsing and the context set-up.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "crypto/bigint/BigInteger.h"
#include "crypto/bigint/Montgomery.h"
#include "crypto/rsa/RsaKey.h"

namespace tornell {

class RandomSource;

struct RsaKeyState {
  RsaKeyState() = default;
  RsaKeyState(const RsaKeyState&) = delete;
  RsaKeyState& operator=(const RsaKeyState&) = delete;
  ~RsaKeyState();  // wipes every private value

  RsaKey source;  // the fields the state was built from
  BigInteger n, e, d, p, q, dP, dQ, qInv;
  bool hasN = false, hasE = false, hasD = false, hasCrt = false;
  // False when a private value is wider than it can be (d or a prime wider
  // than n, dP, dQ or qInv wider than their prime): private operations are
  // refused before any exponentiation.
  bool privateWidthsOk = true;
  // The secret exponents at the width of their modulus, so the ladder's
  // length never follows their value.
  std::vector<limb::Limb> dFixed, dPFixed, dQFixed;
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
[[nodiscard]] int RsaPublicRaw(RsaKeyState& st, const BigInteger& m, BigInteger& c);
// m^d mod n, blinded whenever n is odd, as exactly `width` big-endian bytes
// (width >= the byte length of n): the Montgomery paths never trim the
// result. 1111 when the key holds neither n with d nor the CRT values, or a
// private value is wider than it can be.
[[nodiscard]] int RsaPrivateFixed(RsaKeyState& st, RandomSource& random, const BigInteger& m, uint8_t* out,
                                  size_t width);

}  // namespace tornell
