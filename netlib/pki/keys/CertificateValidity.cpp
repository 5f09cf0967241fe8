// The validity-period test of certificate times against the UTC clock.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/text/TextUtils.h"
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
  if (year >= 0) {
    // Every peer certificate is checked in each handshake: no snprintf.
    char* at = text;
    FormatPaddedUnsigned(&at, unsigned(year), 4, '0');
    for (const int field : {utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec}) {
      FormatPaddedUnsigned(&at, unsigned(field), 2, '0');
    }
  } else {
    std::snprintf(text, sizeof text, "%04i%02i%02i%02i%02i%02i", year, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                  utc.tm_min, utc.tm_sec);
  }
  if (std::strcmp(text, notBefore != nullptr ? notBefore : "") < 0) return -1;
  if (std::strcmp(text, notAfter != nullptr ? notAfter : "") > 0) return 1;
  return 0;
}

}  // namespace tornell::pki
