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

namespace {

// The UTC calendar fields of a time from 1970 to 9999 by day arithmetic:
// gmtime_r takes the time-zone lock for a result that needs none.
bool UtcFields(std::time_t now, int fields[6]) {
  constexpr std::time_t kLast = 253402300799;  // 9999-12-31 23:59:59
  if (now < 0 || now > kLast) return false;
  const long days = long(now / 86400);
  const long secondOfDay = long(now % 86400);
  // Days to civil date, counted in 400-year eras from 0000-03-01.
  const long z = days + 719468;
  const long era = z / 146097;
  const long dayOfEra = z - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long monthIndex = (5 * dayOfYear + 2) / 153;
  const long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  fields[0] = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  fields[1] = int(month);
  fields[2] = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  fields[3] = int(secondOfDay / 3600);
  fields[4] = int(secondOfDay / 60 % 60);
  fields[5] = int(secondOfDay % 60);
  return true;
}

}  // namespace

int KeyCodec::CheckValidityPeriodAt(const char* notBefore, const char* notAfter, std::time_t now) {
  int fields[6];
  if (!UtcFields(now, fields)) {
    std::tm utc{};
    gmtime_r(&now, &utc);
    fields[0] = utc.tm_year + 1900;
    fields[1] = utc.tm_mon + 1;
    fields[2] = utc.tm_mday;
    fields[3] = utc.tm_hour;
    fields[4] = utc.tm_min;
    fields[5] = utc.tm_sec;
  }
  char text[32];
  if (fields[0] >= 0) {
    // Every peer certificate is checked in each handshake: no snprintf.
    char* at = text;
    FormatPaddedUnsigned(&at, unsigned(fields[0]), 4, '0');
    for (int i = 1; i < 6; ++i) FormatPaddedUnsigned(&at, unsigned(fields[i]), 2, '0');
  } else {
    std::snprintf(text, sizeof text, "%04i%02i%02i%02i%02i%02i", fields[0], fields[1], fields[2], fields[3],
                  fields[4], fields[5]);
  }
  if (std::strcmp(text, notBefore != nullptr ? notBefore : "") < 0) return -1;
  if (std::strcmp(text, notAfter != nullptr ? notAfter : "") > 0) return 1;
  return 0;
}

}  // namespace tornell::pki
