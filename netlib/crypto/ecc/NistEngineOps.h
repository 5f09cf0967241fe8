#pragma once
// The dedicated prime-curve arithmetic in the form the ECC engine calls.
#include "crypto/ecc/EccEngineMultiply.h"

namespace tornell {

// Operations for engine curve index 0 (P-256), 1 (P-384) or 2 (P-521);
// nullptr for any other index.
const EccPointOps* NistEnginePointOps(int curveIndex);

}  // namespace tornell
