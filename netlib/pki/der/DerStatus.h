#pragma once
// Status codes of the DER codec.

namespace tornell::pki {

constexpr int kDerEncodeFailed = 445;  // an encoding could not be produced
constexpr int kDerMalformed = 446;     // an element could not be measured or decoded
constexpr int kDerMissing = 447;       // the element asked for is not there, or is incomplete

}  // namespace tornell::pki
