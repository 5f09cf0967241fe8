#pragma once
// Date and time formatting by letter-run patterns, and the clock readings that
// Kerberos and TLS need.

#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell {

class DateTimeFormat {
 public:
  // fraction is in milliseconds; weekday 0 (Sunday) to 6, anything else for none.
  [[nodiscard]] static int Format(ByteString& out, const char* pattern, int year, int month,
                                  int day, int hour, int minute, int second, int fraction,
                                  int weekday);
  [[nodiscard]] static int Format(ByteString& out, const char* pattern, int year, int month,
                                  int day, int hour, int minute, int second);

  static int NowUtc(int& year, int& month, int& day, int& hour, int& minute, int& second,
                    int& fraction, int& weekday);
  static int NowUtc(int& year, int& month, int& day, int& hour, int& minute, int& second);

  // Both parts carry the offset's sign (UTC-03:30 gives -3 and -30).
  static int LocalUtcOffset(int& hours, int& minutes);

  // Seconds since 1970 times 1000.
  static uint64_t NowMilliseconds();

  static int RunLength(const char* text);
  // Width 4, 3 or 2 pads with zeros; 0 writes the plain number.
  [[nodiscard]] static int AppendNumber(ByteString& out, int value, int width);
};

}  // namespace tornell
