// The curve code compiled with MULX and ADX enabled: the 64x64-bit products
// leave the flags alone, so the carry chains of the Montgomery product
// interleave. Only reached after a run-time check of the processor.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/secure/ConstantTime.h"
#include "crypto/ecc/nist/NistCurve.h"
#include "crypto/ecc/nist/NistCurveOps.h"

// The shared constant-time helpers are included above, outside the target
// region: their out-of-line copies (unoptimised builds) are shared with the
// portable code and must not carry MULX or ADX instructions.
#if defined(__x86_64__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("bmi2,adx"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("bmi2,adx")
#endif
#endif

#include "crypto/ecc/nist/NistCurveImpl.h"
#include "crypto/ecc/nist/NistCurveParams.h"

namespace tornell {
namespace {
struct MulxTag {
  static constexpr bool kAdx = true;
};
}  // namespace

const NistCurveOps& NistMulxOps(int curve) {
  static const NistCurveOps ops[3] = {nistcurve::Impl<nistcurve::P256Params, MulxTag>::Ops(),
                                      nistcurve::Impl<nistcurve::P384Params, MulxTag>::Ops(),
                                      nistcurve::Impl<nistcurve::P521Params, MulxTag>::Ops()};
  return ops[curve];
}

}  // namespace tornell

#if defined(__x86_64__)
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
