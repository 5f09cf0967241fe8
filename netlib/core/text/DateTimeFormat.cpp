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

// Writes the token's meaning; false when the run has to go on to later tokens.
bool WriteToken(ByteString& out, int token, int length, const DateFields& f) {
  const int hour12 = f.hour >= 13 ? f.hour - 12 : f.hour;
  switch (token) {
    case kYy: DateTimeFormat::AppendNumber(out, f.year % 100, 2); return true;
    case kYyyy: DateTimeFormat::AppendNumber(out, f.year, 4); return true;
    case kM: DateTimeFormat::AppendNumber(out, f.month, 0); return true;
    case kMM: DateTimeFormat::AppendNumber(out, f.month, 2); return true;
    case kMMM:
      // A month outside the table is written as its number rather than read
      // from beyond the table.
      if (f.month >= 1 && f.month <= 12) {
        out.Append(kMonths[f.month - 1]);
      } else {
        DateTimeFormat::AppendNumber(out, f.month, 0);
      }
      return true;
    case kD: DateTimeFormat::AppendNumber(out, f.day, 0); return true;
    case kDd: DateTimeFormat::AppendNumber(out, f.day, 2); return true;
    case kDdd:
      if (length != 3 || f.weekday < 0 || f.weekday > 6) return false;
      out.Append(kWeekdays[f.weekday]);
      return true;
    case kH12: DateTimeFormat::AppendNumber(out, hour12, 0); return true;
    case kHh12: DateTimeFormat::AppendNumber(out, hour12, 2); return true;
    case kH: DateTimeFormat::AppendNumber(out, f.hour, 0); return true;
    case kHH: DateTimeFormat::AppendNumber(out, f.hour, 2); return true;
    case kMin: DateTimeFormat::AppendNumber(out, f.minute, 0); return true;
    case kMinMin: DateTimeFormat::AppendNumber(out, f.minute, 2); return true;
    case kS: DateTimeFormat::AppendNumber(out, f.second, 0); return true;
    case kSs: DateTimeFormat::AppendNumber(out, f.second, 2); return true;
    case kTt: out.Append(f.hour < 12 ? "AM" : "PM"); return true;
    case kZzz: {
      int hours = 0;
      int minutes = 0;
      DateTimeFormat::LocalUtcOffset(hours, minutes);
      out.AppendByte(hours < 0 || minutes < 0 ? '-' : '+');
      DateTimeFormat::AppendNumber(out, std::abs(hours), 2);
      DateTimeFormat::AppendNumber(out, std::abs(minutes), 2);
      return true;
    }
    case kF6:
      DateTimeFormat::AppendNumber(out, f.fraction, 3);
      out.Append("000");
      return true;
    case kF3: DateTimeFormat::AppendNumber(out, f.fraction, 3); return true;
    default: return false;
  }
}

}  // namespace

int DateTimeFormat::Format(ByteString& out, const char* pattern, int year, int month, int day,
                           int hour, int minute, int second, int fraction, int weekday) {
  out.Clear();
  if (pattern == nullptr) return 0;
  const DateFields fields{year, month, day, hour, minute, second, fraction, weekday};
  const char* p = pattern;
  for (int length = RunLength(p); length > 0; p += length, length = RunLength(p)) {
    bool written = false;
    for (int token = 0; token < kTokenCount && !written; ++token) {
      if (RunMatches(p, length, token)) written = WriteToken(out, token, length, fields);
    }
    if (!written) out.Append(p, length);
  }
  return 0;
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
  return 0;
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
  return 0;
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

void DateTimeFormat::AppendNumber(ByteString& out, int value, int width) {
  char text[16];
  const char* format = width == 4 ? "%04d" : width == 3 ? "%03d" : width == 2 ? "%02d" : "%d";
  std::snprintf(text, sizeof text, format, value);
  out.Append(text);
}

}  // namespace tornell
