#pragma once
// Decimal and hexadecimal digits for the status texts, written without the
// printf machinery: every handshake reports several numbers.
#include <cstdint>

#include "core/text/TextUtils.h"

namespace tornell::tls {

// "%d" of the value into `out`; returns out.
inline const char* DecimalText(int value, char (&out)[16]) {
  char* at = out;
  if (value < 0) *at++ = '-';
  FormatPaddedUnsigned(&at, value < 0 ? 0u - unsigned(value) : unsigned(value), 0, '0');
  return out;
}

// "%x" (or "%X" when upper) of the value into `out`; returns out.
inline const char* HexText(uint32_t value, bool upper, char (&out)[16]) {
  const char* const alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char digits[8];
  int n = 0;
  do {
    digits[n++] = alphabet[value & 0xF];
    value >>= 4;
  } while (value != 0);
  int at = 0;
  while (n > 0) out[at++] = digits[--n];
  out[at] = '\0';
  return out;
}

}  // namespace tornell::tls
