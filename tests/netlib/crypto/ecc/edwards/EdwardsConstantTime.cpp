// X25519 and X448 (fixed base and ladder) and Ed25519 and Ed448 signing with
// the scalar or seed secret.
#include <cstring>
#include <initializer_list>

#include "SecretProbe.h"
#include "core/text/ByteString.h"
#include "crypto/ecc/edwards/EdDsa.h"
#include "crypto/ecc/edwards/EdwardsMath.h"
#include "crypto/ecc/edwards/X25519Mulx.h"

using namespace tornell;

namespace {

using probe::Reveal;

void Fill(unsigned char* b, int n, int salt) {
  for (int i = 0; i < n; ++i) b[i] = (unsigned char)(i * 29 + salt * 13 + 7);
}

// Base-point and variable-point agreement; the peer point is a public one
// computed before any secret exists.
template <int W>
int Agreement(int (*xdh)(const unsigned char*, int, const unsigned char*, int, unsigned char*, int),
              unsigned char base) {
  unsigned char k[W], peerScalar[W], u[W] = {base}, peer[W], out[W];
  Fill(peerScalar, W, 1);
  int failures = xdh(peerScalar, W, u, W, peer, W) != 0;
  Fill(k, W, 2);
  probe::MarkSecret(k, W);
  for (const unsigned char* point : {static_cast<const unsigned char*>(u), static_cast<const unsigned char*>(peer)}) {
    int st = xdh(k, W, point, W, out, W);
    Reveal(&st, sizeof st);
    Reveal(out, W);
    failures += st != 0;
  }
  return failures;
}

int X25519Agreement() { return Agreement<32>(EdwardsMath::X25519, 9); }
// The four-limb ladder for MULX and ADX. memcheck's processor hides ADX from
// the feature check, so it is called directly; it must give the library's
// result.
int X25519MulxLadder() {
  unsigned char k[32], peerScalar[32], nine[32] = {9}, peer[32], want[32], out[32];
  Fill(peerScalar, 32, 1);
  int failures = EdwardsMath::X25519(peerScalar, 32, nine, 32, peer, 32) != 0;
  Fill(k, 32, 2);
  failures += EdwardsMath::X25519Ladder(k, 32, peer, 32, want, 32) != 0;
  k[0] &= 248;  // the ladder takes a clamped scalar
  k[31] = (unsigned char)((k[31] & 127) | 64);
  probe::MarkSecret(k, sizeof k);
  X25519LadderMulx(k, peer, out);
  Reveal(out, sizeof out);
  return failures + (std::memcmp(out, want, sizeof out) != 0);
}

int X448Agreement() { return Agreement<56>(EdwardsMath::X448, 5); }

template <int W>
int Signing(int (*publicFromSeed)(const unsigned char*, int, ByteString&),
            int (*sign)(const unsigned char*, int, const unsigned char*, int, const unsigned char*, int, ByteString&)) {
  unsigned char seed[W];
  Fill(seed, W, 3);
  ByteString pub, signature;
  int failures = publicFromSeed(seed, W, pub) != 0;
  const unsigned char message[] = "a message to sign";
  probe::MarkSecret(seed, W);
  int st = sign(message, (int)sizeof message - 1, pub.Bytes(), pub.Length(), seed, W, signature);
  Reveal(&st, sizeof st);
  failures += st != 0;
  Reveal(signature.Bytes(), (size_t)signature.Length());
  failures += signature.Length() != 2 * pub.Length();
  return failures;
}

int Ed25519Sign(const unsigned char* m, int n, const unsigned char* pub, int pubLen, const unsigned char* seed,
                int seedLen, ByteString& out) {
  return EdDsa::SignEd25519(m, n, pub, pubLen, seed, seedLen, out);
}

int Ed448Sign(const unsigned char* m, int n, const unsigned char* pub, int pubLen, const unsigned char* seed,
              int seedLen, ByteString& out) {
  return EdDsa::SignEd448(m, n, nullptr, 0, pub, pubLen, seed, seedLen, out);
}

int Ed25519Signing() { return Signing<32>(EdDsa::Ed25519PublicFromSeed, Ed25519Sign); }
int Ed448Signing() { return Signing<57>(EdDsa::Ed448PublicFromSeed, Ed448Sign); }

const probe::Case kCases[] = {
    {"x25519", X25519Agreement},
    {"x25519 four-limb ladder", X25519MulxLadder},
    {"x448", X448Agreement},
    {"ed25519 signing", Ed25519Signing},
    {"ed448 signing", Ed448Signing},
};

}  // namespace

PROBE_MAIN(kCases)
