#include "crypto/dsa/DsaEngine.h"

#include <algorithm>
#include <vector>

#include "crypto/digest/hash/HashContext.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/pubkey/KeyNumbers.h"
#include "crypto/bigint/Montgomery.h"
#include "crypto/dsa/DsaSignCore.h"
#include "core/base/Status.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "core/text/SecretBytes.h"

namespace tornell {

using limb::Limb;
using namespace dsa_status;

namespace {

using keynum::CanMontgomery;
using keynum::FromData;
using keynum::FromField;
using keynum::Limbs;
using keynum::StripZeros;

// The leftmost bits(q) bits of the hash as a number (FIPS 186-4 4.6).
BigInteger HashValue(const char* hash, int hashLength, int qBits) {
  BigInteger h = FromData(hash, hashLength);
  const int excess = hashLength * 8 - qBits;
  return excess > 0 ? h.ShiftRight(excess) : h;
}

// Whether the domain and the private key can sign: p odd with a size from
// the key-size table, 1 < g < p, q odd above 1 and narrower than p, x no
// wider than q (leading zero bytes allowed). Only public widths are looked at
// for x; inconsistent values would otherwise run the exponentiation on
// whatever sizes the caller chose.
bool DomainCanSign(const PublicKeyAlgorithm& alg, const BigInteger& p, const BigInteger& q, const BigInteger& g,
                   int xLength) {
  if (!CanMontgomery(p) || !CanMontgomery(q) || alg.CheckKeySize(p.BitLength()) != 0) return false;
  if (q.BitLength() >= p.BitLength()) return false;
  if (g.CompareTo(BigInteger::ONE) <= 0 || g.CompareTo(p) >= 0) return false;
  return xLength > 0 && size_t(xLength) <= 8 * (q.Magnitude().size() + 1);
}

// All ones when 0 < v < m (n limbs each), in constant time.
Limb InRangeMask(const Limb* v, const Limb* m, size_t n) {
  std::vector<Limb> t(n);
  const Limb below = ct::MaskFromBit(limb::SubN(t.data(), v, m, n));
  Limb any = 0;
  for (size_t i = 0; i < n; ++i) any |= v[i];
  SecureWipe(t.data(), n * sizeof(Limb));
  return below & ct::IsNonZero(any);
}

}  // namespace

int DsaEngine::SetKey(DsaKey& in) {
  key.Clear();
  if (in.p.Length() == 0 || in.q.Length() == 0 || in.g.Length() == 0 || (in.y.Length() == 0 && in.x.Length() == 0))
    return kIncompleteKey;
  const BigInteger p = FromField(in.p), q = FromField(in.q);
  if (p.Signum() == 0) return kIncompleteKey;
  keyBits = p.BitLength();
  if (q.Signum() == 0) return kIncompleteKey;
  int rc = 0;
  if ((rc = key.p.Assign(in.p)) != 0 || (rc = key.q.Assign(in.q)) != 0 || (rc = key.g.Assign(in.g)) != 0 ||
      (rc = key.y.Assign(in.y)) != 0 || (rc = key.x.Assign(in.x)) != 0)
    return rc;
  return kStatusOk;
}

int DsaEngine::SignHash(const char* hash, int hashLength, ByteString& out) {
  if (hash == nullptr || hashLength < 1) return kNoHash;
  if (key.g.Length() == 0) return kNoGenerator;
  if (key.x.Length() == 0) return kNoPrivateKey;
  const BigInteger p = FromField(key.p), q = FromField(key.q), g = FromField(key.g);
  if (!DomainCanSign(*this, p, q, g, key.x.Length())) return kIncompleteKey;
  DsaGroup group;
  DsaGroupInit(group, p, q, g);
  const size_t kq = group.mq.k;
  const int qBits = group.qBits, qBytes = (qBits + 7) / 8;
  // x is loaded at its field's width and reduced without a division.
  std::vector<Limb> xw(kq + 1), x(kq), k(kq), r(kq), s(kq);
  keynum::LoadFixed(key.x.Bytes(), size_t(key.x.Length()), xw.data(), xw.size());
  MontgomeryReduceWide(group.mq, x.data(), xw.data(), xw.size());
  BigInteger hq;
  TORNELL_TRY(HashValue(hash, hashLength, qBits).Mod(q, hq));
  const std::vector<Limb> h = Limbs(hq, kq);
  SecretBytes kb;
  int rc = kb.SetLength(qBytes);
  while (rc == kStatusOk) {
    rc = FillRandom(kb.Data(), 0, qBytes);
    if (rc != kStatusOk) break;
    if (qBits % 8 != 0) kb.Bytes()[0] &= uint8_t((1u << (qBits % 8)) - 1);
    keynum::LoadFixed(kb.Bytes(), size_t(qBytes), k.data(), kq);
    // A rejected draw tells nothing of the one that is used.
    if (InRangeMask(k.data(), group.mq.mod.data(), kq) == 0) continue;
    DsaSignCore(group, x.data(), k.data(), h.data(), r.data(), s.data());
    if (limb::Trim(r.data(), kq) != 0 && limb::Trim(s.data(), kq) != 0) break;
  }
  SecureWipe(xw.data(), xw.size() * sizeof(Limb));
  SecureWipe(x.data(), x.size() * sizeof(Limb));
  SecureWipe(k.data(), k.size() * sizeof(Limb));
  TORNELL_TRY(rc);
  ByteString rb, sb;
  TORNELL_TRY(rb.SetLength(qBytes));
  TORNELL_TRY(sb.SetLength(qBytes));
  keynum::StoreFixed(r.data(), kq, rb.Bytes(), size_t(qBytes));
  keynum::StoreFixed(s.data(), kq, sb.Bytes(), size_t(qBytes));
  if (signatureFormat == 1) {
    ByteString der;
    TORNELL_TRY(PublicKeyAlgorithm::EncodeDerSignature(rb, sb, der));
    return out.Append(der);
  }
  TORNELL_TRY(out.Append(rb));
  return out.Append(sb);
}

int DsaEngine::IsDerSignature(const char* signature, int length) {
  if (signature == nullptr || length < 6) return 0;
  const auto* b = reinterpret_cast<const uint8_t*>(signature);
  if (b[0] != 0x30 || b[1] + 1 > length || b[2] != 0x02) return 0;
  const int i = b[3] + 4;
  if (i >= length || b[i] != 0x02) return 0;
  if (i + 1 >= length || i + 2 + b[i + 1] > length) return 0;
  return 1;
}

int DsaEngine::VerifyHash(const char* hash, int hashLength, const char* signature, int signatureLength,
                          int& valid) {
  valid = 0;
  if (hash == nullptr || hashLength < 1) return kNoHash;
  if (signature == nullptr || signatureLength < 1) return kNoSignature;
  if (key.g.Length() == 0) return kNoGenerator;
  const auto* b = reinterpret_cast<const uint8_t*>(signature);
  BigInteger r, s;
  if (IsDerSignature(signature, signatureLength)) {
    SignaturePair pair;
    if (PublicKeyAlgorithm::DecodeDerSignature(signature, signatureLength, pair) != 1) return kStatusOk;
    r = FromField(pair.r);
    s = FromField(pair.s);
  } else {
    if (signatureLength % 2 != 0) return kStatusOk;
    const int half = signatureLength / 2;
    r = BigInteger(b, half, 1);
    s = BigInteger(b + half, half, 1);
  }
  const BigInteger p = FromField(key.p), q = FromField(key.q), g = FromField(key.g), y = FromField(key.y);
  if (r.Signum() <= 0 || s.Signum() <= 0 || r.CompareTo(q) >= 0 || s.CompareTo(q) >= 0) return kStatusOk;
  const BigInteger h = HashValue(hash, hashLength, q.BitLength());
  BigInteger w, u1, u2, a, c, vp, v;
  int rc = 0;
  if ((rc = s.ModInverse(q, w)) != 0 || (rc = h.Multiply(w).Mod(q, u1)) != 0 || (rc = r.Multiply(w).Mod(q, u2)) != 0)
    return rc;
  if ((rc = g.ModPowPublic(u1, p, a)) != 0 || (rc = y.ModPowPublic(u2, p, c)) != 0) return rc;
  if ((rc = a.Multiply(c).Mod(p, vp)) != 0 || (rc = vp.Mod(q, v)) != 0) return rc;
  valid = v.Equals(r) ? 1 : 0;
  return kStatusOk;
}

namespace {

// g = h^((p-1)/q) mod p for the first h = 2, 3, ... giving g > 1.
BigInteger FindGenerator(const BigInteger& p, const BigInteger& q) {
  const BigInteger e = p.Subtract(BigInteger::ONE).Divide(q);
  const BigInteger pm1 = p.Subtract(BigInteger::ONE);
  for (BigInteger h(int64_t(2)); h.CompareTo(pm1) < 0; h = h.Add(BigInteger::ONE)) {
    BigInteger g;
    if (h.ModPowPublic(e, p, g) != 0) break;
    if (g.CompareTo(BigInteger::ONE) > 0) return g;
  }
  return BigInteger();
}

// x of exactly `bits` bits below q, and y = g^x mod p, stored with q, p, g.
int StoreKey(const BigInteger& p, const BigInteger& q, const BigInteger& g, int bits, RandomSource& random,
             DsaKey& key) {
  BigInteger x;
  do {
    x = BigInteger(bits, random);
  } while (x.Signum() <= 0 || x.CompareTo(q) >= 0);
  BigInteger y;
  int rc = g.ModPow(x, p, y);
  if (rc != 0) return rc;
  const std::pair<const BigInteger*, ByteString*> fields[] = {
      {&q, &key.q}, {&p, &key.p}, {&g, &key.g}, {&x, &key.x}, {&y, &key.y}};
  for (const auto& [v, f] : fields)
    if ((rc = v->ToByteString(*f)) != 0 || (rc = StripZeros(*f)) != 0) return rc;
  return kStatusOk;
}

}  // namespace

int DsaEngine::GenerateParameters() {
  const int l = keyBits;
  if (l < 512 || l > 4096 || l % 64 != 0) return kBadSize;
  const int n = l <= 2047 ? 160 : l <= 3071 ? 224 : 256;
  RandomSource source;
  BigInteger two(int64_t(2)), qLow, qTop, pLow, pTop;
  int rc = 0;
  if ((rc = two.Pow(n - 1, qLow)) != 0 || (rc = two.Pow(l - 1, pLow)) != 0) return rc;
  qTop = qLow.ShiftLeft(1).Subtract(BigInteger::ONE);
  pTop = pLow.ShiftLeft(1).Subtract(BigInteger::ONE);
  BigInteger q, p;
  for (;;) {
    BigInteger::GeneratePrime(qLow, qTop, BigInteger::ZERO, BigInteger::ONE, source, q);
    if (q.Signum() == 0) continue;
    if (BigInteger::GeneratePrime(pLow, pTop, BigInteger::ONE, q, source, p) != 0 && p.Signum() != 0) break;
  }
  const BigInteger g = FindGenerator(p, q);
  return StoreKey(p, q, g, n, source, key);
}

int DsaEngine::GenerateParametersSha1() {
  const int l = keyBits;
  // FIPS 186-2 defines this search for 512 to 1024 bits in steps of 64 only.
  if (l < 512 || l > 1024 || l % 64 != 0) return kBadSize;
  const int n = (l - 1) / 160, b = (l - 1) - 160 * n;
  HashContext sha1;
  BigInteger two160, twoL1, twoB;
  BigInteger two(int64_t(2));
  int rc = 0;
  if ((rc = two.Pow(160, two160)) != 0 || (rc = two.Pow(l - 1, twoL1)) != 0 || (rc = two.Pow(b, twoB)) != 0)
    return rc;
  // SHA-1 of (seed + add) mod 2^160 as a 20-byte string.
  auto hashOf = [&](const BigInteger& seed, int64_t add, ByteString& out) {
    BigInteger v;
    const int status = seed.Add(BigInteger(add)).Mod(two160, v);
    if (status != kStatusOk) return status;
    uint8_t buf[20];
    v.ToBytes(buf, 20);
    return sha1.Digest(reinterpret_cast<const char*>(buf), 20, out);
  };
  for (;;) {
    char seedBytes[20];
    FillRandom(seedBytes, 0, 20);
    const BigInteger seed(reinterpret_cast<const uint8_t*>(seedBytes), 20, 1);
    ByteString h0, h1;
    if ((rc = hashOf(seed, 0, h0)) != 0 || (rc = hashOf(seed, 1, h1)) != 0) return rc;
    for (int i = 0; i < 20; ++i) h0.Data()[i] = char(h0.Data()[i] ^ h1.Data()[i]);
    h0.Bytes()[0] |= 0x80;
    h0.Bytes()[19] |= 0x01;
    const BigInteger q = FromField(h0);
    if (!q.IsProbablePrime(20, &random)) continue;
    const BigInteger twoQ = q.ShiftLeft(1);
    int64_t offset = 2;
    for (int counter = 0; counter <= 4095; ++counter, offset += n + 1) {
      BigInteger w;
      for (int j = 0; j <= n; ++j) {
        ByteString vj;
        if ((rc = hashOf(seed, offset + j, vj)) != 0) return rc;
        BigInteger v = FromField(vj);
        if (j == n) v = v.Remainder(twoB);
        w = w.Add(v.ShiftLeft(160 * j));
      }
      const BigInteger x = w.Add(twoL1);
      const BigInteger p = x.Subtract(x.Remainder(twoQ).Subtract(BigInteger::ONE));
      if (p.CompareTo(twoL1) >= 0 && p.IsProbablePrime(10, &random)) {
        const BigInteger g = FindGenerator(p, q);
        return StoreKey(p, q, g, 160, random, key);
      }
    }
  }
}

int DsaEngine::GenerateKey(int withX, DsaKey& out, int method) {
  int rc = 0;
  if (key.g.Length() == 0) {
    key.Clear();
    rc = method != 0 ? GenerateParametersSha1() : GenerateParameters();
    if (rc != 0) return rc;
    keyBits = FromField(key.p).BitLength();
  }
  out.Clear();
  if ((rc = out.p.Assign(key.p)) != 0 || (rc = out.q.Assign(key.q)) != 0 || (rc = out.g.Assign(key.g)) != 0 ||
      (rc = out.y.Assign(key.y)) != 0)
    return rc;
  return withX ? out.x.Assign(key.x) : 0;
}

}  // namespace tornell
