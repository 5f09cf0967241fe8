// P-256, P-384 and P-521: scalar multiplications, ECDH and ECDSA per second
// beside OpenSSL on keys it generated. NistMulBase and NistMul: k·G and k·P
// with the result in affine coordinates on both sides; NistEcdh: the shared
// x from a checked peer point; NistSign: a drawn nonce, then r and s (OpenSSL
// also encodes the signature); NistVerify: one check.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <cstring>
#include <vector>

#include "BenchPath.h"
#include "CurveRows.h"
#include "crypto/ecc/nist/NistCurve.h"
#include "crypto/random/RandomSource.h"

namespace {

using Bytes = std::vector<unsigned char>;

const char* const kGroupNames[3] = {"P-256", "P-384", "P-521"};
const int kNids[3] = {NID_X9_62_prime256v1, NID_secp384r1, NID_secp521r1};

// An OpenSSL key pair and the same values as fixed-width byte strings.
struct Key {
  EVP_PKEY* pkey = nullptr;
  Bytes d, x, y;
};

Key MakeKey(int curve) {
  Key k;
  const int n = tornell::NistCurveBytes(curve);
  k.pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", kGroupNames[curve]);
  BIGNUM* d = nullptr;
  EVP_PKEY_get_bn_param(k.pkey, OSSL_PKEY_PARAM_PRIV_KEY, &d);
  k.d.resize(n);
  BN_bn2binpad(d, k.d.data(), n);
  BN_free(d);
  unsigned char point[1 + 2 * 66];
  size_t len = 0;
  EVP_PKEY_get_octet_string_param(k.pkey, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point, sizeof point, &len);
  k.x.assign(point + 1, point + 1 + n);
  k.y.assign(point + 1 + n, point + 1 + 2 * n);
  return k;
}

Bytes Pattern(int n, int salt) {
  Bytes b(n);
  for (int i = 0; i < n; ++i) b[i] = (unsigned char)(i * 31 + salt * 13 + 7);
  b[0] &= 0x7f;
  if (n == 66) b[0] = 1;
  return b;
}

void MulBaseOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  const Bytes k = Pattern(tornell::NistCurveBytes(curve), 1);
  unsigned char x[66], y[66];
  for (auto _ : state) benchmark::DoNotOptimize(tornell::NistScalarMulBase(curve, k.data(), x, y));
}

void MulBasePeer(benchmark::State& state, int curve) {
  const Bytes kb = Pattern(tornell::NistCurveBytes(curve), 1);
  EC_GROUP* group = EC_GROUP_new_by_curve_name(kNids[curve]);
  EC_POINT* r = EC_POINT_new(group);
  BIGNUM* k = BN_bin2bn(kb.data(), (int)kb.size(), nullptr);
  BN_CTX* ctx = BN_CTX_new();
  // EC_POINT_mul leaves the point in Jacobian form; ours returns it affine.
  for (auto _ : state) {
    benchmark::DoNotOptimize(EC_POINT_mul(group, r, k, nullptr, nullptr, ctx));
    benchmark::DoNotOptimize(EC_POINT_make_affine(group, r, ctx));
  }
  BN_CTX_free(ctx);
  BN_free(k);
  EC_POINT_free(r);
  EC_GROUP_free(group);
}

void MulOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  const Key peer = MakeKey(curve);
  const Bytes k = Pattern(tornell::NistCurveBytes(curve), 2);
  unsigned char x[66], y[66];
  for (auto _ : state) {
    benchmark::DoNotOptimize(tornell::NistScalarMul(curve, k.data(), peer.x.data(), peer.y.data(), x, y));
  }
  EVP_PKEY_free(peer.pkey);
}

void MulPeer(benchmark::State& state, int curve) {
  const Key peer = MakeKey(curve);
  const Bytes kb = Pattern(tornell::NistCurveBytes(curve), 2);
  EC_GROUP* group = EC_GROUP_new_by_curve_name(kNids[curve]);
  EC_POINT* p = EC_POINT_new(group);
  EC_POINT* r = EC_POINT_new(group);
  BN_CTX* ctx = BN_CTX_new();
  BIGNUM* x = BN_bin2bn(peer.x.data(), (int)peer.x.size(), nullptr);
  BIGNUM* y = BN_bin2bn(peer.y.data(), (int)peer.y.size(), nullptr);
  EC_POINT_set_affine_coordinates(group, p, x, y, ctx);
  BIGNUM* k = BN_bin2bn(kb.data(), (int)kb.size(), nullptr);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EC_POINT_mul(group, r, nullptr, p, k, ctx));
    benchmark::DoNotOptimize(EC_POINT_make_affine(group, r, ctx));
  }
  BN_free(k);
  BN_free(x);
  BN_free(y);
  BN_CTX_free(ctx);
  EC_POINT_free(r);
  EC_POINT_free(p);
  EC_GROUP_free(group);
}

void EcdhOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  const Key own = MakeKey(curve), peer = MakeKey(curve);
  unsigned char x[66], y[66];
  for (auto _ : state) {
    benchmark::DoNotOptimize(tornell::NistScalarMul(curve, own.d.data(), peer.x.data(), peer.y.data(), x, y));
  }
  EVP_PKEY_free(own.pkey);
  EVP_PKEY_free(peer.pkey);
}

// The same work as ours: the peer's key is checked once, when the context
// takes it, and each derivation is one constant-time multiplication (ours
// also checks the point is on the curve, a few field products).
void EcdhPeer(benchmark::State& state, int curve) {
  const Key own = MakeKey(curve), peer = MakeKey(curve);
  unsigned char secret[66];
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(own.pkey, nullptr);
  EVP_PKEY_derive_init(ctx);
  EVP_PKEY_derive_set_peer(ctx, peer.pkey);
  for (auto _ : state) {
    size_t len = sizeof secret;
    benchmark::DoNotOptimize(EVP_PKEY_derive(ctx, secret, &len));
  }
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(own.pkey);
  EVP_PKEY_free(peer.pkey);
}

void SignOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  const Key key = MakeKey(curve);
  const int n = tornell::NistCurveBytes(curve);
  Bytes k = Pattern(n, 3), e = Pattern(n, 4);
  unsigned char r[66], s[66];
  tornell::RandomSource random;
  for (auto _ : state) {
    random.Fill(k.data(), 0, n);  // a fresh nonce each time, drawn as OpenSSL draws one
    k[0] &= n == 66 ? 0x00 : 0x7f;  // below n
    benchmark::DoNotOptimize(tornell::NistEcdsaSign(curve, key.d.data(), k.data(), e.data(), r, s));
  }
  EVP_PKEY_free(key.pkey);
}

void SignPeer(benchmark::State& state, int curve) {
  const Key key = MakeKey(curve);
  const Bytes e = Pattern(tornell::NistCurveBytes(curve) < 64 ? tornell::NistCurveBytes(curve) : 64, 4);
  unsigned char sig[160];
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.pkey, nullptr);
  EVP_PKEY_sign_init(ctx);
  for (auto _ : state) {
    size_t len = sizeof sig;
    benchmark::DoNotOptimize(EVP_PKEY_sign(ctx, sig, &len, e.data(), e.size()));
  }
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key.pkey);
}

void VerifyOurs(benchmark::State& state, int curve) {
  benchpath::Label(state, benchpath::kMulxAdx);
  const Key key = MakeKey(curve);
  const int n = tornell::NistCurveBytes(curve);
  const Bytes k = Pattern(n, 3), e = Pattern(n, 4);
  unsigned char r[66], s[66];
  if (tornell::NistEcdsaSign(curve, key.d.data(), k.data(), e.data(), r, s) != tornell::kNistOk) {
    state.SkipWithError("signing failed");
  }
  int valid = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tornell::NistEcdsaVerify(curve, key.x.data(), key.y.data(), e.data(), r, s, &valid));
  }
  if (valid != 1) state.SkipWithError("signature not accepted");
  EVP_PKEY_free(key.pkey);
}

void VerifyPeer(benchmark::State& state, int curve) {
  const Key key = MakeKey(curve);
  const Bytes e = Pattern(tornell::NistCurveBytes(curve) < 64 ? tornell::NistCurveBytes(curve) : 64, 4);
  unsigned char sig[160];
  size_t len = sizeof sig;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key.pkey, nullptr);
  EVP_PKEY_sign_init(ctx);
  EVP_PKEY_sign(ctx, sig, &len, e.data(), e.size());
  EVP_PKEY_verify_init(ctx);
  for (auto _ : state) benchmark::DoNotOptimize(EVP_PKEY_verify(ctx, sig, len, e.data(), e.size()));
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key.pkey);
}

const int kRegistered = [] {
  RegisterCurveRows("NistMulBase", MulBaseOurs, MulBasePeer);
  RegisterCurveRows("NistMul", MulOurs, MulPeer);
  RegisterCurveRows("NistEcdh", EcdhOurs, EcdhPeer);
  RegisterCurveRows("NistSign", SignOurs, SignPeer);
  RegisterCurveRows("NistVerify", VerifyOurs, VerifyPeer);
  return 0;
}();

}  // namespace
