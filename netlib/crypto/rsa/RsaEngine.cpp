// RSA key loading, raw operations and key generation.
#include "crypto/rsa/RsaEngine.h"

#include <initializer_list>
#include <utility>

#include "core/base/Status.h"
#include "core/text/SecretBytes.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/pubkey/KeyNumbers.h"
#include "crypto/rsa/RsaKeyState.h"
#include "crypto/rsa/RsaStatus.h"

namespace tornell {

namespace {

using keynum::FromData;
using keynum::FromField;
using keynum::StripZeros;

int Store(const BigInteger& v, ByteString& field) { return v.ToByteString(field); }

}  // namespace

RsaEngine::RsaEngine() = default;
RsaEngine::~RsaEngine() = default;

int RsaEngine::ModulusBits() { return PrepareState().n.BitLength(); }
int RsaEngine::ModulusBytes() { return (ModulusBits() + 7) / 8; }

bool RsaEngine::BelowModulus(const char* signature, int length) {
  return FromData(signature, length).CompareTo(PrepareState().n) < 0;
}

RsaKeyState& RsaEngine::PrepareState() {
  // The key is a public member: a state built from other fields is rebuilt.
  if (!state_ || !RsaKeyStateMatches(*state_, key)) {
    state_ = std::make_unique<RsaKeyState>();
    RsaKeyStateInit(*state_, key);
  }
  return *state_;
}

int RsaEngine::SetKey(RsaKey& in) {
  state_.reset();
  key.Clear();
  if (in.n.Length() == 0) return rsa_status::kNoModulus;
  const BigInteger n = FromField(in.n);
  if (n.Signum() == 0) return rsa_status::kZeroModulus;
  keyBits = n.BitLength();
  if (in.e.Length() == 0 && in.d.Length() == 0) return rsa_status::kNoExponent;
  if (in.e.Length() > 0 && FromField(in.e).Signum() == 0) return rsa_status::kZeroPublicExponent;
  if (in.d.Length() > 0 && FromField(in.d).Signum() == 0) return rsa_status::kZeroPrivateExponent;
  int rc = 0;
  if ((rc = key.n.Assign(in.n)) != 0 || (rc = key.e.Assign(in.e)) != 0 || (rc = key.d.Assign(in.d)) != 0 ||
      (rc = key.p.Assign(in.p)) != 0 || (rc = key.q.Assign(in.q)) != 0)
    return rc;
  const BigInteger d = FromField(in.d), p = FromField(in.p), q = FromField(in.q);
  const bool hasD = in.d.Length() > 0, hasP = in.p.Length() > 0, hasQ = in.q.Length() > 0;
  struct Derived {
    const ByteString& given;
    ByteString& field;
    bool canDerive;
    const BigInteger& prime;
  } crt[] = {{in.dP, key.dP, hasD && hasP, p}, {in.dQ, key.dQ, hasD && hasQ, q}};
  for (auto& c : crt) {
    if (c.given.Length() > 0) {
      rc = c.field.Assign(c.given);
    } else if (c.canDerive) {
      BigInteger v;
      rc = d.Mod(c.prime.Subtract(BigInteger::ONE), v);
      if (rc == 0) rc = Store(v, c.field);
    }
    if (rc != 0) return rc;
  }
  if (in.qInv.Length() > 0) return key.qInv.Assign(in.qInv);
  if (hasP && hasQ) {
    BigInteger inv;
    if ((rc = q.ModInverse(p, inv)) != 0) return rc;
    return Store(inv, key.qInv);
  }
  return kStatusOk;
}

int RsaEngine::PublicOperation(const char* data, int length, ByteString& out) {
  if (key.n.Length() == 0 || key.e.Length() == 0) return rsa_status::kNoPublicKey;
  RsaKeyState& st = PrepareState();
  BigInteger c;
  int rc = RsaPublicRaw(st, FromData(data, length), c);
  if (rc != 0) return rc;
  const int k = (st.n.BitLength() + 7) / 8;
  const int start = out.Length();
  if ((rc = out.SetLength(start + k)) != 0) return rc;
  c.ToBytes(reinterpret_cast<uint8_t*>(out.Data() + start), k);
  return kStatusOk;
}

int RsaEngine::PrivateOperation(const char* data, int length, ByteString& out) {
  SecretBytes fixed;
  TORNELL_TRY(PrivateFixed(data, length, fixed));
  // This entry's form is the minimal one; the fixed-width paths (signing,
  // decryption) never come through here.
  int zeros = 0;
  while (zeros < fixed.Length() && fixed.Bytes()[zeros] == 0) ++zeros;
  return out.Set(fixed.Data() + zeros, fixed.Length() - zeros);
}

int RsaEngine::PrivateFixed(const char* data, int length, ByteString& out) {
  RsaKeyState& st = PrepareState();
  const int k = (st.n.BitLength() + 7) / 8;
  TORNELL_TRY(out.SetLength(k));
  return RsaPrivateFixed(st, random, FromData(data, length), out.Bytes(), size_t(k));
}

int RsaEngine::GenerateKey(int withD, RsaKey& out, int method) {
  int rc = 0;
  if (key.n.Length() == 0) {
    if ((rc = GenerateWith(method)) != 0) return rc;
  }
  out.Clear();
  const ByteString* from[] = {&key.n, &key.e, &key.p, &key.q, &key.dP, &key.dQ, &key.qInv};
  ByteString* to[] = {&out.n, &out.e, &out.p, &out.q, &out.dP, &out.dQ, &out.qInv};
  for (int i = 0; i < 7; ++i)
    if ((rc = to[i]->Assign(*from[i])) != 0) return rc;
  return withD ? out.d.Assign(key.d) : 0;
}

int RsaEngine::GenerateWith(int method) {
  state_.reset();
  key.Clear();
  // Sizes outside the table would never reach a modulus of the asked length.
  int rc = CheckKeySize(keyBits);
  if (rc != 0) return rc;
  rc = method != 0 ? GenerateKeyRandomPrimes() : GenerateKeyRanged();
  if (rc != 0) {
    key.Clear();
    return rc;
  }
  for (ByteString* f : std::initializer_list<ByteString*>{&key.e, &key.p, &key.q, &key.n, &key.d, &key.dQ, &key.dP, &key.qInv})
    if ((rc = StripZeros(*f)) != 0) return rc;
  return kStatusOk;
}

namespace {

// A prime of half bits: from [0xB6 * 2^(half-8), 2^half) when ranged, which
// makes a product of the right size likely, else any of exactly half bits.
BigInteger FirstPrime(int half, bool ranged, RandomSource& random) {
  if (!ranged) return BigInteger(half, 100, random);
  const BigInteger upper = BigInteger::ONE.ShiftLeft(half);
  BigInteger p;
  BigInteger::GeneratePrime(BigInteger(int64_t(0xB6)).ShiftLeft(half - 8), upper.Subtract(BigInteger::ONE),
                            BigInteger::ZERO, BigInteger::ONE, random, p);
  return p;
}

// Draws q until n = p q has exactly `bits` bits; p is swapped with q whenever
// q is the larger, so p stays the larger prime found so far.
int GeneratePrimes(int bits, bool ranged, bool evenD, RandomSource& random, RsaKey& key) {
  const int half = bits / 2;
  const BigInteger e(int64_t(65537));
  BigInteger p = FirstPrime(half, ranged, random);
  for (;;) {
    BigInteger q(half, 100, random);
    if (p.CompareTo(q) < 0) std::swap(p, q);
    const BigInteger n = p.Multiply(q);
    if (n.BitLength() != bits || p.Equals(q)) continue;
    const BigInteger p1 = p.Subtract(BigInteger::ONE), q1 = q.Subtract(BigInteger::ONE);
    BigInteger d, dP, dQ, qInv;
    if (e.ModInverse(p1.Multiply(q1), d) != 0) {
      // 65537 divides p - 1 or q - 1: drop that prime and draw again rather
      // than fail the whole generation.
      if (p1.Remainder(e).Signum() == 0) p = FirstPrime(half, ranged, random);
      continue;
    }
    if (evenD && d.BitLength() % 8 == 0) continue;
    int rc = 0;
    if ((rc = e.ModInverse(p1, dP)) != 0 || (rc = e.ModInverse(q1, dQ)) != 0 || (rc = q.ModInverse(p, qInv)) != 0)
      return rc;
    if ((rc = key.e.Set("\x01\x00\x01", 3)) != 0) return rc;
    const std::pair<const BigInteger*, ByteString*> fields[] = {{&p, &key.p},   {&q, &key.q},   {&n, &key.n},
                                                                {&d, &key.d},   {&dP, &key.dP}, {&dQ, &key.dQ},
                                                                {&qInv, &key.qInv}};
    for (const auto& [v, f] : fields)
      if ((rc = v->ToByteString(*f)) != 0) return rc;
    return kStatusOk;
  }
}

}  // namespace

int RsaEngine::GenerateKeyRanged() { return GeneratePrimes(keyBits, true, false, random, key); }

int RsaEngine::GenerateKeyRandomPrimes() { return GeneratePrimes(keyBits, false, true, random, key); }

}  // namespace tornell
