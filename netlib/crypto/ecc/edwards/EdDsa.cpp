// EdDSA over edwards25519 and edwards448, and the SHA-512 Ed448 scheme.
// Signing derives the public key from the seed and refuses a different one:
// signing one message under two public keys would otherwise reveal the
// secret scalar.
#include "crypto/ecc/edwards/EdDsa.h"

#include <cstring>
#include <initializer_list>

#include "core/base/StatusCodes.h"
#include "core/secure/ConstantTime.h"
#include "core/secure/SecureWipe.h"
#include "crypto/digest/hash/HashAlgorithm.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/hash/ShakeDigest.h"
#include "crypto/ecc/edwards/Ed448Tables.h"
#include "crypto/ecc/edwards/EdwardsMath.h"
#include "crypto/random/RandomSource.h"

namespace tornell {

namespace {

using M = EdwardsMath;

struct Chunk {
  const unsigned char* data;
  int length;
};

int Sha512Of(std::initializer_list<Chunk> chunks, unsigned char* out) {
  HashContext hash;
  int status = hash.SetAlgorithm(HashAlgorithm::kSha512);
  for (const Chunk& p : chunks) {
    if (status != 0) return status;
    if (p.length > 0) status = hash.Update(reinterpret_cast<const char*>(p.data), p.length);
  }
  if (status == 0) status = hash.Final();
  if (status != 0) return status;
  std::memcpy(out, hash.GetDigest(), 64);
  return 0;
}

int Shake256Of(std::initializer_list<Chunk> chunks, int outBytes, unsigned char* out) {
  Shake256Digest shake;
  shake.SetOutputBits(outBytes * 8);
  for (const Chunk& p : chunks)
    if (p.length > 0) shake.Update(reinterpret_cast<const char*>(p.data), p.length);
  const unsigned char* result = shake.Final();
  if (result == nullptr) return kStatusNoMemory;
  std::memcpy(out, result, static_cast<size_t>(outBytes));
  return 0;
}

// ---- Ed25519 ----

constexpr char kDom2[] = "SigEd25519 no Ed25519 collisions";

// Domain prefix: empty for plain Ed25519, else the label, phflag, context.
struct Dom {
  unsigned char bytes[32 + 2 + 255];
  int length;
};

void MakeDom(Dom& dom, const char* label, int labelLength, int phflag, const unsigned char* ctx, int ctxLen) {
  std::memcpy(dom.bytes, label, static_cast<size_t>(labelLength));
  dom.bytes[labelLength] = static_cast<unsigned char>(phflag);
  dom.bytes[labelLength + 1] = static_cast<unsigned char>(ctxLen);
  if (ctxLen > 0) std::memcpy(dom.bytes + labelLength + 2, ctx, static_cast<size_t>(ctxLen));
  dom.length = labelLength + 2 + ctxLen;
}

struct Ed25519Secret {
  unsigned char scalar[32];
  unsigned char prefix[32];
  unsigned char pub[32];
};

int ExpandEd25519(Ed25519Secret& s, const unsigned char* seed) {
  unsigned char h[64];
  const int status = Sha512Of({{seed, 32}}, h);
  if (status != 0) return status;
  std::memcpy(s.scalar, h, 32);
  std::memcpy(s.prefix, h + 32, 32);
  s.scalar[0] &= 248;
  s.scalar[31] &= 127;
  s.scalar[31] |= 64;
  Ed25519ExtendedPoint a;
  M::Ed25519MultiplyBase(a, s.scalar, 32);
  M::EncodeEd25519Point(s.pub, 32, a);
  SecureWipe(h, sizeof(h));
  return 0;
}

int SignEd25519Core(const Dom& dom, const unsigned char* msg, int len, const unsigned char* pub,
                    const unsigned char* seed, ByteString& out) {
  Ed25519Secret s;
  int status = ExpandEd25519(s, seed);
  // The seed's public key follows the secret: a mismatch withholds the
  // signature by mask, not by a branch.
  const uint8_t match = ct::BytesEqualMask(s.pub, pub, 32);
  unsigned char r[64], k[64], sig[64];
  if (status == 0) status = Sha512Of({{dom.bytes, dom.length}, {s.prefix, 32}, {msg, len}}, r);
  if (status == 0) {
    M::Scalar25519Reduce(r, 64);
    Ed25519ExtendedPoint R;
    M::Ed25519MultiplyBase(R, r, 32);
    M::EncodeEd25519Point(sig, 32, R);
    status = Sha512Of({{dom.bytes, dom.length}, {sig, 32}, {pub, 32}, {msg, len}}, k);
  }
  if (status == 0) {
    M::Scalar25519Reduce(k, 64);
    M::Scalar25519MulAdd(sig + 32, 32, k, 32, s.scalar, 32, r, 32);
    for (unsigned char& b : sig) b &= match;
    status = out.Set(sig, 64);
  }
  status = static_cast<int>(ct::Select<uint32_t>(ct::IsZero<uint32_t>(match), kEdDsaKeyLength, status));
  SecureWipe(&s, sizeof(s));
  SecureWipe(r, sizeof(r));
  return status;
}

int VerifyEd25519Core(const Dom& dom, const unsigned char* msg, int len, const unsigned char* pub,
                      const unsigned char* sig) {
  if ((sig[63] & 0xE0) != 0 || !M::Scalar25519IsCanonical(sig + 32)) return 0;
  Ed25519ExtendedPoint minusA;
  if (!M::DecodeEd25519PointNegated(minusA, pub, 32)) return 0;
  unsigned char k[64];
  if (Sha512Of({{dom.bytes, dom.length}, {sig, 32}, {pub, 32}, {msg, len}}, k) != 0) return 0;
  M::Scalar25519Reduce(k, 64);
  Ed25519ProjectivePoint check;
  M::Ed25519DoubleScalarMultiply(check, k, 32, minusA, sig + 32, 32);
  unsigned char encoded[32];
  M::EncodeEd25519Projective(encoded, 32, check);
  return std::memcmp(encoded, sig, 32) == 0 ? 1 : 0;
}

bool ValidPointer(const unsigned char* p, int len) { return len <= 0 || p != nullptr; }

// ---- Ed448 ----

constexpr char kDom4[] = "SigEd448";

struct Ed448Secret {
  uint32_t scalar[14];
  unsigned char prefix[57];
  unsigned char pub[57];
};

int ExpandEd448(Ed448Secret& s, const unsigned char* seed) {
  unsigned char h[114];
  const int status = Shake256Of({{seed, 57}}, 114, h);
  if (status != 0) return status;
  h[0] &= 0xFC;
  h[55] |= 0x80;
  h[56] = 0;
  M::Scalar448DecodeReduce(s.scalar, h, 57);
  std::memcpy(s.prefix, h + 57, 57);
  Ed448ExtensiblePoint a;
  M::Ed448MultiplyBaseFixed(a, s.scalar);
  M::EncodeEd448Point(s.pub, 57, a);
  SecureWipe(h, sizeof(h));
  return 0;
}

int SignEd448Core(const Dom& dom, const unsigned char* msg, int len, const unsigned char* pub,
                  const unsigned char* seed, ByteString& out) {
  Ed448Secret s;
  int status = ExpandEd448(s, seed);
  const uint8_t match = ct::BytesEqualMask(s.pub, pub, 57);  // as for Ed25519
  unsigned char h[114], sig[114] = {};
  uint32_t r[14], k[14];
  if (status == 0) status = Shake256Of({{dom.bytes, dom.length}, {s.prefix, 57}, {msg, len}}, 114, h);
  if (status == 0) {
    M::Scalar448DecodeReduce(r, h, 114);
    Ed448ExtensiblePoint R;
    M::Ed448MultiplyBaseFixed(R, r);
    M::EncodeEd448Point(sig, 57, R);
    status = Shake256Of({{dom.bytes, dom.length}, {sig, 57}, {pub, 57}, {msg, len}}, 114, h);
  }
  if (status == 0) {
    M::Scalar448DecodeReduce(k, h, 114);
    // S = r + k*s, into r.
    status = M::Scalar448MulAdd(r, 14, k, 14, s.scalar, 14, 1);
  }
  if (status == 0) {
    M::Scalar448Encode(sig + 57, r, 56);
    sig[113] = 0;
    for (unsigned char& b : sig) b &= match;
    status = out.Set(sig, 114);
  }
  status = static_cast<int>(ct::Select<uint32_t>(ct::IsZero<uint32_t>(match), kEdDsaKeyLength, status));
  SecureWipe(&s, sizeof(s));
  SecureWipe(r, sizeof(r));
  SecureWipe(h, sizeof(h));
  return status;
}

int VerifyEd448Core(const Dom& dom, const unsigned char* msg, int len, const unsigned char* pub,
                    const unsigned char* sig) {
  if (sig[113] != 0) return 0;
  Ed448ExtensiblePoint A, R;
  if (!M::DecodeEd448Point(A, pub, 57) || !M::DecodeEd448Point(R, sig, 57)) return 0;
  uint32_t S[14], k[14];
  if (M::Scalar448Decode(S, sig + 57, 56) == 0) return 0;
  unsigned char h[114];
  if (Shake256Of({{dom.bytes, dom.length}, {sig, 57}, {pub, 57}, {msg, len}}, 114, h) != 0) return 0;
  M::Scalar448DecodeReduce(k, h, 114);
  // S*B - k*A and R are compared after one doubling each.
  Ed448ExtensiblePoint Q;
  M::Ed448DoubleScalarMultiplyVerify(Q, S, A, k);
  M::Ed448Double(Q);
  M::Ed448Double(R);
  return M::Ed448ExtensibleEqual(Q, R);
}

// How a variant frames the message: no prefix (plain Ed25519), a context
// that must not be empty (Ed25519ctx), or one that may be (the rest).
enum class Framing { kNone, kContextRequired, kContextOptional };

struct Variant {
  int keyLength;  // 32 for Ed25519, 57 for Ed448
  Framing framing;
  int phflag;
};

bool ContextFits(const Variant& v, const unsigned char* ctx, int ctxLen) {
  if (v.framing == Framing::kContextRequired) return ctxLen > 0 && ctxLen < 256 && ctx != nullptr;
  return ctxLen >= 0 && ctxLen <= 255 && ValidPointer(ctx, ctxLen);
}

void FrameFor(const Variant& v, Dom& dom, const unsigned char* ctx, int ctxLen) {
  if (v.framing == Framing::kNone)
    dom.length = 0;
  else if (v.keyLength == 32)
    MakeDom(dom, kDom2, 32, v.phflag, ctx, ctxLen);
  else
    MakeDom(dom, kDom4, 8, v.phflag, ctx, ctxLen);
}

// The message the core signs: the input, or for the prehash variants its
// SHA-512 (Ed25519) or 64-byte SHAKE256 (Ed448) unless it is already one.
int MessageFor(const Variant& v, const unsigned char*& msg, int& len, int prehashed, unsigned char* ph) {
  if (v.phflag == 0) return 0;
  int status = 0;
  if (prehashed)
    std::memcpy(ph, msg, 64);
  else
    status = v.keyLength == 32 ? Sha512Of({{msg, len}}, ph) : Shake256Of({{msg, len}}, 64, ph);
  msg = ph;
  len = 64;
  return status;
}

int SignVariant(const Variant& v, const unsigned char* msg, int len, int prehashed, const unsigned char* ctx,
                int ctxLen, const unsigned char* pub, int pubLen, const unsigned char* seed, int seedLen,
                ByteString& out) {
  if (pubLen != v.keyLength || seedLen != v.keyLength || pub == nullptr || seed == nullptr) return kEdDsaKeyLength;
  if (!ContextFits(v, ctx, ctxLen)) return kEdDsaContextLength;
  if (v.phflag != 0 && prehashed && len != 64) return kEdDsaPrehashLength;
  if (len < 0 || !ValidPointer(msg, len)) return kEdDsaSignatureLength;
  unsigned char ph[64];
  const int status = MessageFor(v, msg, len, prehashed, ph);
  if (status != 0) return status;
  Dom dom;
  FrameFor(v, dom, ctx, ctxLen);
  return v.keyLength == 32 ? SignEd25519Core(dom, msg, len, pub, seed, out)
                           : SignEd448Core(dom, msg, len, pub, seed, out);
}

int VerifyVariant(const Variant& v, const unsigned char* msg, int len, int prehashed, const unsigned char* ctx,
                  int ctxLen, const unsigned char* pub, int pubLen, const unsigned char* sig, int sigLen) {
  const int sigLength = v.keyLength == 32 ? 64 : 114;
  if (pubLen != v.keyLength || sigLen != sigLength || pub == nullptr || sig == nullptr) return 0;
  if (!ContextFits(v, ctx, ctxLen)) return 0;
  if ((v.phflag != 0 && prehashed && len != 64) || len < 0 || !ValidPointer(msg, len)) return 0;
  unsigned char ph[64];
  if (MessageFor(v, msg, len, prehashed, ph) != 0) return 0;
  Dom dom;
  FrameFor(v, dom, ctx, ctxLen);
  return v.keyLength == 32 ? VerifyEd25519Core(dom, msg, len, pub, sig) : VerifyEd448Core(dom, msg, len, pub, sig);
}

constexpr Variant kEd25519 = {32, Framing::kNone, 0};
constexpr Variant kEd25519ctx = {32, Framing::kContextRequired, 0};
constexpr Variant kEd25519ph = {32, Framing::kContextOptional, 1};
constexpr Variant kEd448 = {57, Framing::kContextOptional, 0};
constexpr Variant kEd448ph = {57, Framing::kContextOptional, 1};

}  // namespace

int EdDsa::SignEd25519(Bytes msg, int len, Bytes pub, int pubLen, Bytes seed, int seedLen, ByteString& out) {
  return SignVariant(kEd25519, msg, len, 0, nullptr, 0, pub, pubLen, seed, seedLen, out);
}

int EdDsa::SignEd25519ctx(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes seed,
                          int seedLen, ByteString& out) {
  return SignVariant(kEd25519ctx, msg, len, 0, ctx, ctxLen, pub, pubLen, seed, seedLen, out);
}

int EdDsa::SignEd25519ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub, int pubLen,
                         Bytes seed, int seedLen, ByteString& out) {
  return SignVariant(kEd25519ph, msg, len, prehashed, ctx, ctxLen, pub, pubLen, seed, seedLen, out);
}

int EdDsa::VerifyEd25519(Bytes msg, int len, Bytes pub, int pubLen, Bytes sig, int sigLen) {
  return VerifyVariant(kEd25519, msg, len, 0, nullptr, 0, pub, pubLen, sig, sigLen);
}

int EdDsa::VerifyEd25519ctx(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes sig,
                            int sigLen) {
  if (pubLen != 32 || pub == nullptr) return kEdDsaPublicKeyLength;
  if (sigLen != 64 || sig == nullptr) return kEdDsaSignatureLength;
  if (!ContextFits(kEd25519ctx, ctx, ctxLen)) return kEdDsaContextLength;
  return VerifyVariant(kEd25519ctx, msg, len, 0, ctx, ctxLen, pub, pubLen, sig, sigLen);
}

int EdDsa::VerifyEd25519ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub, int pubLen,
                           Bytes sig, int sigLen) {
  return VerifyVariant(kEd25519ph, msg, len, prehashed, ctx, ctxLen, pub, pubLen, sig, sigLen);
}

int EdDsa::SignEd448(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes seed, int seedLen,
                     ByteString& out) {
  return SignVariant(kEd448, msg, len, 0, ctx, ctxLen, pub, pubLen, seed, seedLen, out);
}

int EdDsa::SignEd448ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub, int pubLen,
                       Bytes seed, int seedLen, ByteString& out) {
  return SignVariant(kEd448ph, msg, len, prehashed, ctx, ctxLen, pub, pubLen, seed, seedLen, out);
}

int EdDsa::VerifyEd448(Bytes msg, int len, Bytes ctx, int ctxLen, Bytes pub, int pubLen, Bytes sig, int sigLen) {
  return VerifyVariant(kEd448, msg, len, 0, ctx, ctxLen, pub, pubLen, sig, sigLen);
}

int EdDsa::VerifyEd448ph(Bytes msg, int len, int prehashed, Bytes ctx, int ctxLen, Bytes pub, int pubLen,
                         Bytes sig, int sigLen) {
  return VerifyVariant(kEd448ph, msg, len, prehashed, ctx, ctxLen, pub, pubLen, sig, sigLen);
}

// ---- keys ----

int EdDsa::Ed25519PublicFromSeed(Bytes seed, int seedLen, ByteString& out) {
  if (seedLen != 32 || seed == nullptr) return kEdDsaKeyLength;
  Ed25519Secret s;
  int status = ExpandEd25519(s, seed);
  if (status == 0) status = out.Set(s.pub, 32);
  SecureWipe(&s, sizeof(s));
  return status;
}

int EdDsa::Ed448PublicFromSeed(Bytes seed, int seedLen, ByteString& out) {
  if (seedLen != 57 || seed == nullptr) return kEdDsaKeyLength;
  Ed448Secret s;
  int status = ExpandEd448(s, seed);
  if (status == 0) status = out.Set(s.pub, 57);
  SecureWipe(&s, sizeof(s));
  return status;
}

int EdDsa::PublicFromSeed(Bytes seed, int seedLen, ByteString& out) {
  return seedLen == 32 ? Ed25519PublicFromSeed(seed, seedLen, out) : Ed448PublicFromSeed(seed, seedLen, out);
}

namespace {

int Generate(ByteString& pub, ByteString& seed, int length) {
  unsigned char bytes[57];
  RandomSource().Fill(bytes, 0, length);
  int status = seed.Set(bytes, length);
  if (status == 0) status = EdDsa::PublicFromSeed(bytes, length, pub);
  SecureWipe(bytes, sizeof(bytes));
  return status;
}

}  // namespace

int EdDsa::GenerateEd25519(ByteString& pub, ByteString& seed) { return Generate(pub, seed, 32); }

int EdDsa::GenerateEd448(ByteString& pub, ByteString& seed) { return Generate(pub, seed, 57); }

int EdDsa::CheckKeyPair(Bytes pub, int pubLen, Bytes seed, int seedLen, int full) {
  const bool hasPub = pubLen > 0 && pub != nullptr;
  const bool hasSeed = seedLen > 0 && seed != nullptr;
  int ok = (hasPub || hasSeed) ? 1 : 0;
  if (hasPub && pubLen != 32 && pubLen != 57) ok = 0;
  if (hasSeed && seedLen != 32 && seedLen != 57) ok = 0;
  if (hasPub && hasSeed && pubLen != seedLen) ok = 0;
  if (ok && full && hasPub && hasSeed) {
    ByteString derived;
    if (PublicFromSeed(seed, seedLen, derived) != 0) return 0;
    return derived.Equals(pub, pubLen) ? 1 : 0;
  }
  return ok;
}

// ---- the SHA-512 Ed448 scheme ----
// Every multiplication uses the alternate base point G = twisted image of the
// point with y = 19, the base that verification's window table serves.

namespace {

constexpr unsigned char kLabels[] = "derivepksignonce";

void MultiplyAlternateBase(Ed448TwistedExtensiblePoint& out, const uint32_t* k) {
  // Halving first and doubling after clears the (0, -1) ambiguity of the
  // twisted image while still giving k*G.
  uint32_t half[14];
  M::Scalar448Halve(half, k);
  out = Ed448WindowTables::BaseTwisted();
  M::Ed448MultiplyPoint(out, half);
  M::Ed448TwistedDouble(out);
  SecureWipe(half, sizeof(half));
}

}  // namespace

int EdDsa::DeriveEd448Sha512Key(Bytes seed, int seedLen, ByteString& out) {
  if (seedLen != 32 || seed == nullptr) return kEdDsaKeyLength;
  unsigned char h[64], key[144];
  int status = Sha512Of({{kLabels, 8}, {seed, 32}}, h);
  if (status != 0) return status;
  uint32_t x[14];
  M::Scalar448DecodeReduce(x, h, 64);
  Ed448TwistedExtensiblePoint P;
  MultiplyAlternateBase(P, x);
  Fe448 coordinate;
  M::EncodeEd448Coordinate(coordinate, P);
  M::Scalar448Encode(key, x, 56);
  M::Fe448Encode(key + 56, 56, coordinate);
  std::memcpy(key + 112, seed, 32);
  status = out.Set(key, 144);
  SecureWipe(h, sizeof(h));
  SecureWipe(key, sizeof(key));
  SecureWipe(x, sizeof(x));
  return status;
}

int EdDsa::Ed448Sha512PublicKey(Bytes key, int keyLen, ByteString& out) {
  if (keyLen != 144 || key == nullptr) return kEdDsaLongKeyLength;
  return out.Set(key + 56, 56);
}

int EdDsa::SignEd448Sha512(Bytes msg, int len, Bytes key, int keyLen, ByteString& out) {
  if (keyLen != 144 || key == nullptr) return kEdDsaLongKeyLength;
  if (len < 0 || !ValidPointer(msg, len)) return kEdDsaSignatureLength;
  uint32_t x[14], k[14], c[14];
  if (M::Scalar448Decode(x, key, 56) == 0) return kEdDsaScalarRange;
  const unsigned char* seed = key + 112;
  const unsigned char* pub = key + 56;
  unsigned char h[64], sig[112];
  int status = Sha512Of({{kLabels + 8, 8}, {seed, 32}, {msg, len}, {seed, 32}}, h);
  if (status == 0) {
    M::Scalar448DecodeReduce(k, h, 64);
    Ed448TwistedExtensiblePoint Rp;
    MultiplyAlternateBase(Rp, k);
    Fe448 r;
    M::EncodeEd448Coordinate(r, Rp);
    M::Fe448Encode(sig, 56, r);
    status = Sha512Of({{pub, 56}, {sig, 56}, {msg, len}}, h);
  }
  if (status == 0) {
    M::Scalar448DecodeReduce(c, h, 64);
    // s = k - c*x
    status = M::Scalar448Negate(c, 14);
    if (status == 0) status = M::Scalar448MulAdd(k, 14, c, 14, x, 14, 1);
  }
  if (status == 0) {
    M::Scalar448Encode(sig + 56, k, 56);
    status = out.Set(sig, 112);
  }
  SecureWipe(x, sizeof(x));
  SecureWipe(k, sizeof(k));
  SecureWipe(h, sizeof(h));
  return status;
}

int EdDsa::VerifyEd448Sha512(Bytes msg, int len, Bytes pub, int pubLen, Bytes sig, int sigLen) {
  if (pubLen != 56 || sigLen < 112 || pub == nullptr || sig == nullptr) return 0;
  if (len < 0 || !ValidPointer(msg, len)) return 0;
  Fe448 pubField, r;
  uint32_t s[14], c[14];
  if (!M::Fe448Decode(pubField, pub, 56) || M::Scalar448Decode(s, sig + 56, 56) == 0) return 0;
  unsigned char h[64];
  if (Sha512Of({{pub, 56}, {sig, 56}, {msg, len}}, h) != 0) return 0;
  M::Scalar448DecodeReduce(c, h, 64);
  if (!M::Fe448Decode(r, sig, 56)) return 0;
  Ed448TwistedExtensiblePoint Q;
  if (M::DecodeEd448Coordinate(Q, pubField) == 0) return 0;
  if (M::Ed448DoubleScalarMultiply(Q, c, 446, s, 446) != 0) return 0;
  Fe448 encoded;
  M::EncodeEd448Coordinate(encoded, Q);
  return M::Fe448Equal(encoded, r) != 0 ? 1 : 0;
}

}  // namespace tornell
