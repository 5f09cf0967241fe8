#pragma once
// The DSA public value of a private key read without one: y = g^x mod p,
// with x secret.
#include "core/text/ByteString.h"

namespace tornell::pki {

// y as big-endian bytes of p's stored width, computed in time that depends
// only on the lengths of p and x. 446 when p is not an odd number above 2;
// BigInteger statuses for a g with no inverse modulo p.
[[nodiscard]] int DsaPublicValue(const ByteString& p, const ByteString& g, const ByteString& x, ByteString& y);

}  // namespace tornell::pki
