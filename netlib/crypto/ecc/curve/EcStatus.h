#pragma once
// Status codes of the elliptic-curve code.

namespace tornell {

constexpr int kEcOverflow = 20480;      // an operand or result needs more than the fixed capacity
constexpr int kEcZeroModulus = 20481;   // modulus (or GCD operand) is zero
constexpr int kEcBadCurve = 1401;       // missing curve, parameter or coordinate
constexpr int kEcBadPoint = 1409;       // not an uncompressed point
constexpr int kEcUnknownCurve = 1410;   // no such named curve or reduction id
constexpr int kEcTooWide = 1419;        // value does not fit the width asked for

}  // namespace tornell
