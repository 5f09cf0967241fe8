#pragma once
// Display text of any cipher-suite code, registered or not: the standard name
// and the code in lower-case hexadecimal, "TLS_AES_128_GCM_SHA256 (0x1301)",
// or "Unknown (0x...)" for a code without a name.
#include "core/text/ByteString.h"

namespace tornell {

[[nodiscard]] int cipherSuiteDisplayName(int code, ByteString& out);
// The display text of a code with a name, in place; null for other codes.
const char* cipherSuiteKnownName(int code);

}  // namespace tornell
