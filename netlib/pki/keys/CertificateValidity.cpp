// The validity-period test of certificate times against the UTC clock.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "pki/keys/KeyCodec.h"

namespace tornell::pki {

int KeyCodec::CheckValidityPeriod(const char* notBefore, const char* notAfter) {
  return CheckValidityPeriodAt(notBefore, notAfter, std::time(nullptr));
}

int KeyCodec::CheckValidityPeriodAt(const char* notBefore, const char* notAfter, std::time_t now) {
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  const int year = utc.tm_year + 1900;
  if (year >= 0 && year <= 9999) {
    // Every peer certificate is checked in each handshake: digits by hand, not snprintf.
    const int fields[] = {year / 100, year % 100, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
    char* at = text;
    for (const int field : fields) {
      *at++ = char('0' + field / 10);
      *at++ = char('0' + field % 10);
    }
    *at = '\0';
  } else {
    std::snprintf(text, sizeof text, "%04i%02i%02i%02i%02i%02i", year, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                  utc.tm_min, utc.tm_sec);
  }
  if (std::strcmp(text, notBefore != nullptr ? notBefore : "") < 0) return -1;
  if (std::strcmp(text, notAfter != nullptr ? notAfter : "") > 0) return 1;
  return 0;
}

}  // namespace tornell::pki
