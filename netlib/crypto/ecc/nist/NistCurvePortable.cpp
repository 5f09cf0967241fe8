// The curve code compiled for any x86-64 (or other 64-bit) processor.
#include "crypto/ecc/nist/NistCurveImpl.h"
#include "crypto/ecc/nist/NistCurveParams.h"

namespace tornell {
namespace {
struct PortableTag {};
}  // namespace

const NistCurveOps& NistPortableOps(int curve) {
  static const NistCurveOps ops[3] = {nistcurve::Impl<nistcurve::P256Params, PortableTag>::Ops(),
                                      nistcurve::Impl<nistcurve::P384Params, PortableTag>::Ops(),
                                      nistcurve::Impl<nistcurve::P521Params, PortableTag>::Ops()};
  return ops[curve];
}

}  // namespace tornell
