#include "core/text/TextUtils.h"

#include <cerrno>
#include <cstdio>
#include <type_traits>
#include <sys/time.h>

#include "core/base/StatusCodes.h"

namespace tornell {

namespace {

inline unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// One shape for every integer parser: sign, then digits of the base, the
// magnitude wrapping in the unsigned type U.
template <typename U>
U ParseMagnitude(const char* text, int base, bool* negative) {
  *negative = false;
  if (*text == '-' || *text == '+') {
    *negative = (*text == '-');
    ++text;
  }
  U value = 0;
  for (;; ++text) {
    int digit = HexDigitValue(static_cast<unsigned char>(*text));
    if (digit < 0 || digit >= base) break;
    value = static_cast<U>(value * static_cast<U>(base) + static_cast<U>(digit));
  }
  return value;
}

template <typename S>
S ParseSigned(const char* text, int base) {
  using U = std::make_unsigned_t<S>;
  if (text == nullptr) return 0;
  bool negative = false;
  U magnitude = ParseMagnitude<U>(text, base, &negative);
  if (negative) magnitude = static_cast<U>(U{0} - magnitude);
  return static_cast<S>(magnitude);
}

}  // namespace

int CompareNoCase(const char* first, const char* second) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(first);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(second);
  for (;; ++a, ++b) {
    unsigned char x = FoldAscii(*a);
    unsigned char y = FoldAscii(*b);
    if (x != y || x == 0) return static_cast<int>(x) - static_cast<int>(y);
  }
}

int CompareNoCaseN(const char* first, const char* second, unsigned long n) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(first);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(second);
  for (unsigned long i = 0; i < n; ++i) {
    unsigned char x = FoldAscii(a[i]);
    unsigned char y = FoldAscii(b[i]);
    if (x != y || x == 0) return static_cast<int>(x) - static_cast<int>(y);
  }
  return 0;
}

char* SplitAt(char* text, char separator) {
  char* p = text;
  while (*p != '\0' && *p != separator) ++p;
  if (*p == '\0') return p;
  *p = '\0';
  return p + 1;
}

bool IsHexDigit(char c) { return HexDigitValue(static_cast<unsigned char>(c)) >= 0; }
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

int HexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return kNotFound;
}

int ParseInt(const char* text) { return ParseSigned<int32_t>(text, 10); }
int64_t ParseLong(const char* text) { return ParseSigned<int64_t>(text, 10); }
int64_t ParseInt64(const char* text) { return ParseSigned<int64_t>(text, 10); }
int ParseHexInt(const char* text) { return ParseSigned<int32_t>(text, 16); }
int64_t ParseHexInt64(const char* text) { return ParseSigned<int64_t>(text, 16); }

double ParseDouble(const char* text, char** end) {
  static const double kPowersOf10[] = {10.,   100.,  1.0e4,  1.0e8,  1.0e16,
                                       1.0e32, 1.0e64, 1.0e128, 1.0e256};
  const int kMaxExponent = 511;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = (*p++ == '-');

  // Count the mantissa's characters (digits and one point), locate the point.
  const char* mantissa = p;
  int mantSize = 0;
  int decPt = -1;
  for (;; ++mantSize, ++p) {
    if (IsDecimalDigit(*p)) continue;
    if (*p != '.' || decPt >= 0) break;
    decPt = mantSize;
  }
  const char* afterMantissa = p;
  if (decPt < 0) {
    decPt = mantSize;
  } else {
    --mantSize;
  }
  if (mantSize == 0) {
    if (end != nullptr) *end = const_cast<char*>(text);
    return 0.0;
  }
  int fracExp;
  if (mantSize > 18) {
    fracExp = decPt - 18;
    mantSize = 18;
  } else {
    fracExp = decPt - mantSize;
  }
  int64_t high = 0, low = 0;
  p = mantissa;
  for (; mantSize > 0; --mantSize) {
    if (*p == '.') ++p;
    int digit = *p++ - '0';
    if (mantSize > 9) {
      high = high * 10 + digit;
    } else {
      low = low * 10 + digit;
    }
  }
  double fraction = 1.0e9 * static_cast<double>(high) + static_cast<double>(low);

  p = afterMantissa;
  int exp = 0;
  bool expNegative = false;
  if (*p == 'e' || *p == 'E') {
    const char* q = p + 1;
    bool sign = false;
    if (*q == '-' || *q == '+') sign = (*q++ == '-');
    if (IsDecimalDigit(*q)) {
      expNegative = sign;
      // Stop accumulating once far past the clamp so the int cannot overflow.
      for (; IsDecimalDigit(*q); ++q) {
        if (exp < 100000) exp = exp * 10 + (*q - '0');
      }
      p = q;
    }
  }
  exp = expNegative ? fracExp - exp : fracExp + exp;
  bool scaleDown = exp < 0;
  if (scaleDown) exp = -exp;
  if (exp > kMaxExponent) exp = kMaxExponent;
  double scale = 1.0;
  for (const double* d = kPowersOf10; exp != 0; exp >>= 1, ++d) {
    if (exp & 1) scale *= *d;
  }
  fraction = scaleDown ? fraction / scale : fraction * scale;
  if (end != nullptr) *end = const_cast<char*>(p);
  return negative ? -fraction : fraction;
}

char* FormatPaddedUnsigned(char** cursor, unsigned value, int width, char fill) {
  char digits[16];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  char* out = *cursor;
  for (int i = n; i < width; ++i) *out++ = fill;
  while (n > 0) *out++ = digits[--n];
  *out = '\0';
  *cursor = out;
  return out;
}

int NextToken(char* text, const char* delimiters, char** rest) {
  char* p = text;
  for (; *p != '\0'; ++p) {
    for (const char* d = delimiters; *d != '\0'; ++d) {
      if (*p == *d) {
        *p = '\0';
        *rest = p + 1;
        return static_cast<unsigned char>(*d);
      }
    }
  }
  *rest = p;
  return 0;
}

const char* FindNoCase(const char* text, const char* needle) {
  if (text == nullptr || *text == '\0') return nullptr;
  unsigned long n = 0;
  while (needle[n] != '\0') ++n;
  for (const char* p = text; *p != '\0'; ++p) {
    if (CompareNoCaseN(p, needle, n) == 0) return p;
  }
  return nullptr;
}

void GuidToText(char* out, const Guid* g) {
  // Only the low 32 bits of the first field belong to the text form; a wider
  // value would overrun the 37-byte result.
  std::snprintf(out, 37, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                g->data1 & 0xFFFFFFFFUL, g->data2, g->data3, g->data4[0], g->data4[1],
                g->data4[2], g->data4[3], g->data4[4], g->data4[5], g->data4[6], g->data4[7]);
}

void TextToGuid(const char* text, Guid* g) {
  *g = Guid{};
  static const int kGroupLengths[11] = {8, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2};
  const char* p = text;
  for (int group = 0; group < 11; ++group) {
    int want = kGroupLengths[group];
    char digits[9];
    int n = 0;
    // Collect the group's digits, skipping separators; stop when the text runs out.
    while (n < want && *p != '\0') {
      if (IsHexDigit(*p)) digits[n++] = *p;
      ++p;
    }
    if (n < want) return;
    digits[n] = '\0';
    uint64_t value = static_cast<uint64_t>(ParseHexInt64(digits));
    if (group == 0) {
      g->data1 = static_cast<unsigned long>(value);
    } else if (group == 1) {
      g->data2 = static_cast<uint16_t>(value);
    } else if (group == 2) {
      g->data3 = static_cast<uint16_t>(value);
    } else {
      g->data4[group - 3] = static_cast<unsigned char>(value);
    }
  }
}

uint32_t TickCountMs() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<uint32_t>((static_cast<uint64_t>(tv.tv_sec) % 1000000u) * 1000u +
                               static_cast<uint64_t>(tv.tv_usec) / 1000u);
}

int GetSystemError() { return errno; }
void SetSystemError(int code) { errno = code; }

int IsLookupPending() { return 0; }
int CancelLookup() { return kStatusOk; }

}  // namespace tornell
