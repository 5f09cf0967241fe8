#include "core/text/DateTimeFormat.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace tornell {

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

struct DateFields {
  int year, month, day, hour, minute, second, fraction, weekday;
};

// The tokens in the order they are tried; a run matches a token it begins.
enum Token { kYy, kYyyy, kM, kMM, kMMM, kD, kDd, kDdd, kH12, kHh12, kH, kHH, kMin, kMinMin,
             kS, kSs, kTt, kZzz, kF6, kF3, kTokenCount };
const char* const kTokens[kTokenCount] = {"yy", "yyyy", "M", "MM", "MMM", "d", "dd", "ddd",
                                          "h", "hh", "H", "HH", "m", "mm", "s", "ss",
                                          "tt", "zzz", "ffffff", "fff"};

bool RunMatches(const char* run, int length, int token) {
  const char* name = kTokens[token];
  if (length > static_cast<int>(std::strlen(name)) || std::strncmp(run, name, length) != 0) {
    return false;
  }
  if (token == kZzz) return length == 3;
  if (token == kF6) return length == 6;
  return true;
}

// Writes the token's meaning into *status; false when the run has to go on
// to later tokens.
bool WriteToken(ByteString& out, int token, int length, const DateFields& f, int* status) {
  const int hour12 = f.hour >= 13 ? f.hour - 12 : f.hour;
  auto number = [&](int value, int width) {
    *status = DateTimeFormat::AppendNumber(out, value, width);
    return true;
  };
  switch (token) {
    case kYy: return number(f.year % 100, 2);
    case kYyyy: return number(f.year, 4);
    case kM: return number(f.month, 0);
    case kMM: return number(f.month, 2);
    case kMMM:
      // A month outside the table is written as its number rather than read
      // from beyond the table.
      if (f.month < 1 || f.month > 12) return number(f.month, 0);
      *status = out.Append(kMonths[f.month - 1]);
      return true;
    case kD: return number(f.day, 0);
    case kDd: return number(f.day, 2);
    case kDdd:
      if (length != 3 || f.weekday < 0 || f.weekday > 6) return false;
      *status = out.Append(kWeekdays[f.weekday]);
      return true;
    case kH12: return number(hour12, 0);
    case kHh12: return number(hour12, 2);
    case kH: return number(f.hour, 0);
    case kHH: return number(f.hour, 2);
    case kMin: return number(f.minute, 0);
    case kMinMin: return number(f.minute, 2);
    case kS: return number(f.second, 0);
    case kSs: return number(f.second, 2);
    case kTt:
      *status = out.Append(f.hour < 12 ? "AM" : "PM");
      return true;
    case kZzz: {
      int hours = 0;
      int minutes = 0;
      *status = DateTimeFormat::LocalUtcOffset(hours, minutes);
      if (*status == kStatusOk) *status = out.AppendByte(hours < 0 || minutes < 0 ? '-' : '+');
      if (*status == kStatusOk) *status = DateTimeFormat::AppendNumber(out, std::abs(hours), 2);
      if (*status == kStatusOk) *status = DateTimeFormat::AppendNumber(out, std::abs(minutes), 2);
      return true;
    }
    case kF6:
      *status = DateTimeFormat::AppendNumber(out, f.fraction, 3);
      if (*status == kStatusOk) *status = out.Append("000");
      return true;
    case kF3: return number(f.fraction, 3);
    default: return false;
  }
}

}  // namespace

int DateTimeFormat::Format(ByteString& out, const char* pattern, int year, int month, int day,
                           int hour, int minute, int second, int fraction, int weekday) {
  out.Clear();
  if (pattern == nullptr) return kStatusOk;
  const DateFields fields{year, month, day, hour, minute, second, fraction, weekday};
  const char* p = pattern;
  int status = kStatusOk;
  for (int length = RunLength(p); length > 0 && status == kStatusOk;
       p += length, length = RunLength(p)) {
    bool written = false;
    for (int token = 0; token < kTokenCount && !written; ++token) {
      if (RunMatches(p, length, token)) written = WriteToken(out, token, length, fields, &status);
    }
    if (!written) status = out.Append(p, length);
  }
  return status;
}

int DateTimeFormat::Format(ByteString& out, const char* pattern, int year, int month, int day,
                           int hour, int minute, int second) {
  return Format(out, pattern, year, month, day, hour, minute, second, 0, -1);
}

int DateTimeFormat::NowUtc(int& year, int& month, int& day, int& hour, int& minute, int& second,
                           int& fraction, int& weekday) {
  time_t now = time(nullptr);
  struct tm utc;
  gmtime_r(&now, &utc);
  year = utc.tm_year + 1900;
  month = utc.tm_mon + 1;
  day = utc.tm_mday;
  hour = utc.tm_hour;
  minute = utc.tm_min;
  second = utc.tm_sec;
  fraction = 0;
  weekday = utc.tm_wday;
  return kStatusOk;
}

int DateTimeFormat::NowUtc(int& year, int& month, int& day, int& hour, int& minute, int& second) {
  int fraction = 0;
  int weekday = 0;
  return NowUtc(year, month, day, hour, minute, second, fraction, weekday);
}

int DateTimeFormat::LocalUtcOffset(int& hours, int& minutes) {
  time_t now = time(nullptr);
  struct tm local;
  tzset();  // follow a TZ that changed since the last reading
  localtime_r(&now, &local);
  const long total = local.tm_gmtoff / 60;
  hours = static_cast<int>(total / 60);
  minutes = static_cast<int>(total % 60);
  return kStatusOk;
}

uint64_t DateTimeFormat::NowMilliseconds() {
  return static_cast<uint64_t>(time(nullptr)) * 1000u;
}

int DateTimeFormat::RunLength(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  int n = 1;
  while (text[n] == text[0]) ++n;
  return n;
}

int DateTimeFormat::AppendNumber(ByteString& out, int value, int width) {
  char text[16];
  const char* format = width == 4 ? "%04d" : width == 3 ? "%03d" : width == 2 ? "%02d" : "%d";
  std::snprintf(text, sizeof text, format, value);
  return out.Append(text);
}

}  // namespace tornell
