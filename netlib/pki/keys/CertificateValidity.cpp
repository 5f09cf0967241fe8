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
  std::snprintf(text, sizeof text, "%04i%02i%02i%02i%02i%02i", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour, utc.tm_min, utc.tm_sec);
  if (std::strcmp(text, notBefore != nullptr ? notBefore : "") < 0) return -1;
  if (std::strcmp(text, notAfter != nullptr ? notAfter : "") > 0) return 1;
  return 0;
}

}  // namespace tornell::pki
