#pragma once
// Status codes of the big-integer arithmetic.

namespace tornell::bigint_status {

constexpr int kDivideByZero = 2001;
constexpr int kNotInvertible = 2002;
constexpr int kModulusNotPositive = 2003;
constexpr int kNegativeExponent = 2004;

}  // namespace tornell::bigint_status
