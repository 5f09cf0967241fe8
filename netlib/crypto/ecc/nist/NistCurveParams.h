#pragma once
// Domain constants of the three prime curves with a = -3, as 64-bit limbs
// (least significant first): field prime, group order, b and the generator.
#include <cstdint>

#include "crypto/ecc/nist/NistField.h"
#include "crypto/ecc/nist/P521Field.h"

namespace tornell {
namespace nistcurve {

struct P256Params {
  static constexpr int N = 4;
  static constexpr int kBytes = 32;  // field and scalar bytes
  static constexpr int kOrderBits = 256;
  static constexpr int kBaseWindow = 6;  // signed-digit width of the base-point table
  static constexpr uint64_t kP[N] = {0xffffffffffffffffULL, 0x00000000ffffffffULL, 0x0000000000000000ULL,
                                     0xffffffff00000001ULL};
  static constexpr uint64_t kN[N] = {0xf3b9cac2fc632551ULL, 0xbce6faada7179e84ULL, 0xffffffffffffffffULL,
                                     0xffffffff00000000ULL};
  static constexpr uint64_t kB[N] = {0x3bce3c3e27d2604bULL, 0x651d06b0cc53b0f6ULL, 0xb3ebbd55769886bcULL,
                                     0x5ac635d8aa3a93e7ULL};
  static constexpr uint64_t kGx[N] = {0xf4a13945d898c296ULL, 0x77037d812deb33a0ULL, 0xf8bce6e563a440f2ULL,
                                      0x6b17d1f2e12c4247ULL};
  static constexpr uint64_t kGy[N] = {0xcbb6406837bf51f5ULL, 0x2bce33576b315eceULL, 0x8ee7eb4a7c0f9e16ULL,
                                      0x4fe342e2fe1a7f9bULL};
  static constexpr nistfield::Modulus<N> kFieldModulus = nistfield::MakeModulus<N>(kP);
  static constexpr nistfield::Modulus<N> kOrderModulus = nistfield::MakeModulus<N>(kN);
  template <class Tag>
  using FieldOf = nistfield::Field<N, kFieldModulus, Tag>;
};

struct P384Params {
  static constexpr int N = 6;
  static constexpr int kBytes = 48;
  static constexpr int kOrderBits = 384;
  static constexpr int kBaseWindow = 6;
  static constexpr uint64_t kP[N] = {0x00000000ffffffffULL, 0xffffffff00000000ULL, 0xfffffffffffffffeULL,
                                     0xffffffffffffffffULL, 0xffffffffffffffffULL, 0xffffffffffffffffULL};
  static constexpr uint64_t kN[N] = {0xecec196accc52973ULL, 0x581a0db248b0a77aULL, 0xc7634d81f4372ddfULL,
                                     0xffffffffffffffffULL, 0xffffffffffffffffULL, 0xffffffffffffffffULL};
  static constexpr uint64_t kB[N] = {0x2a85c8edd3ec2aefULL, 0xc656398d8a2ed19dULL, 0x0314088f5013875aULL,
                                     0x181d9c6efe814112ULL, 0x988e056be3f82d19ULL, 0xb3312fa7e23ee7e4ULL};
  static constexpr uint64_t kGx[N] = {0x3a545e3872760ab7ULL, 0x5502f25dbf55296cULL, 0x59f741e082542a38ULL,
                                      0x6e1d3b628ba79b98ULL, 0x8eb1c71ef320ad74ULL, 0xaa87ca22be8b0537ULL};
  static constexpr uint64_t kGy[N] = {0x7a431d7c90ea0e5fULL, 0x0a60b1ce1d7e819dULL, 0xe9da3113b5f0b8c0ULL,
                                      0xf8f41dbd289a147cULL, 0x5d9e98bf9292dc29ULL, 0x3617de4a96262c6fULL};
  static constexpr nistfield::Modulus<N> kFieldModulus = nistfield::MakeModulus<N>(kP);
  static constexpr nistfield::Modulus<N> kOrderModulus = nistfield::MakeModulus<N>(kN);
  template <class Tag>
  using FieldOf = nistfield::Field<N, kFieldModulus, Tag>;
};

struct P521Params {
  static constexpr int N = 9;
  static constexpr int kBytes = 66;
  static constexpr int kOrderBits = 521;
  static constexpr int kBaseWindow = 5;
  static constexpr uint64_t kP[N] = {0xffffffffffffffffULL, 0xffffffffffffffffULL, 0xffffffffffffffffULL,
                                     0xffffffffffffffffULL, 0xffffffffffffffffULL, 0xffffffffffffffffULL,
                                     0xffffffffffffffffULL, 0xffffffffffffffffULL, 0x00000000000001ffULL};
  static constexpr uint64_t kN[N] = {0xbb6fb71e91386409ULL, 0x3bb5c9b8899c47aeULL, 0x7fcc0148f709a5d0ULL,
                                     0x51868783bf2f966bULL, 0xfffffffffffffffaULL, 0xffffffffffffffffULL,
                                     0xffffffffffffffffULL, 0xffffffffffffffffULL, 0x00000000000001ffULL};
  static constexpr uint64_t kB[N] = {0xef451fd46b503f00ULL, 0x3573df883d2c34f1ULL, 0x1652c0bd3bb1bf07ULL,
                                     0x56193951ec7e937bULL, 0xb8b489918ef109e1ULL, 0xa2da725b99b315f3ULL,
                                     0x929a21a0b68540eeULL, 0x953eb9618e1c9a1fULL, 0x0000000000000051ULL};
  static constexpr uint64_t kGx[N] = {0xf97e7e31c2e5bd66ULL, 0x3348b3c1856a429bULL, 0xfe1dc127a2ffa8deULL,
                                      0xa14b5e77efe75928ULL, 0xf828af606b4d3dbaULL, 0x9c648139053fb521ULL,
                                      0x9e3ecb662395b442ULL, 0x858e06b70404e9cdULL, 0x00000000000000c6ULL};
  static constexpr uint64_t kGy[N] = {0x88be94769fd16650ULL, 0x353c7086a272c240ULL, 0xc550b9013fad0761ULL,
                                      0x97ee72995ef42640ULL, 0x17afbd17273e662cULL, 0x98f54449579b4468ULL,
                                      0x5c8a5fb42c7d1bd9ULL, 0x39296a789a3bc004ULL, 0x0000000000000118ULL};
  static constexpr nistfield::Modulus<N> kFieldModulus = nistfield::MakeModulus<N>(kP);
  static constexpr nistfield::Modulus<N> kOrderModulus = nistfield::MakeModulus<N>(kN);
  template <class Tag>
  using FieldOf = nistfield::P521Field<kFieldModulus, Tag>;  // plain form, shift reduction
};

}  // namespace nistcurve
}  // namespace tornell
