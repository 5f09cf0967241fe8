#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "TestSupport.h"
#include "ToolRunner.h"
#include "core/buffer/AllocationFault.h"
#include "core/text/DateTimeFormat.h"

using tornell::ByteString;
using tornell::DateTimeFormat;

namespace {

// Runs the body with TZ set, then puts the old zone back.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    const char* old = std::getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadOld_ = false;
  std::string old_;
};

std::string Fmt(const char* pattern, int y, int mo, int d, int h, int mi, int s, int f, int wd) {
  ByteString out;
  EXPECT_EQ(0, DateTimeFormat::Format(out, pattern, y, mo, d, h, mi, s, f, wd));
  return out.CStr();
}

TEST(DateTimeFormatTest, PatternTable) {
  struct Case {
    const char* pattern;
    int hour;
    int fraction;
    int weekday;
    const char* expected;
  };
  // The date is 2024-03-05 with minute 8 and second 9 throughout.
  const Case cases[] = {
      {"yyyyMMddHHmmss", 7, 0, -1, "20240305070809"},
      {"yy-M-d H:m:s", 7, 0, -1, "24-3-5 7:8:9"},
      {"y yyy", 7, 0, -1, "24 2024"},
      {"ddd, dd MMM yyyy", 7, 0, 2, "Tue, 05 Mar 2024"},
      {"ddd, dd MMM yyyy", 7, 0, -1, "ddd, 05 Mar 2024"},
      {"ddd", 7, 0, 7, "ddd"},
      {"hh:mm tt", 0, 0, -1, "00:08 AM"},
      {"hh:mm tt", 12, 0, -1, "12:08 PM"},
      {"h:mm t", 13, 0, -1, "1:08 PM"},
      {"fff|f|ff|ffffff", 7, 42, -1, "042|042|042|042000"},
      {"ffff fffff fffffff", 7, 42, -1, "ffff fffff fffffff"},
      {"yyyyy MMMM dddd hhh ttt z zz zzzz", 7, 0, 1, "yyyyy MMMM dddd hhh ttt z zz zzzz"},
      {"T-: Z", 7, 0, -1, "T-: Z"},
      {"", 7, 0, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(c.expected, Fmt(c.pattern, 2024, 3, 5, c.hour, 8, 9, c.fraction, c.weekday));
  }
  ByteString out;
  EXPECT_EQ(0, DateTimeFormat::Format(out, "fff ffffff", 2024, 3, 5, 7, 8, 9));
  EXPECT_STREQ("000 000000", out.CStr());
  // A month outside the table is written as its number.
  EXPECT_EQ("13 0 -1", Fmt("MMM", 2024, 13, 1, 0, 0, 0, 0, -1) + " " +
                           Fmt("MMM", 2024, 0, 1, 0, 0, 0, 0, -1) + " " +
                           Fmt("MMM", 2024, -1, 1, 0, 0, 0, 0, -1));
  EXPECT_EQ(0, DateTimeFormat::RunLength(""));
  EXPECT_EQ(3, DateTimeFormat::RunLength("aaab"));
}

// A text that cannot grow is a failure, not a shorter date.
TEST(DateTimeFormatTest, FailedGrowthIsReported) {
  std::string pattern;
  for (int i = 0; i < 12; ++i) pattern += "yyyy-MM-dd ";  // 132 bytes: past the inline buffer
  ByteString out;
  tornell::g_allocationFaultCountdown = 1;
  const int status = DateTimeFormat::Format(out, pattern.c_str(), 2024, 3, 5, 7, 8, 9);
  tornell::g_allocationFaultCountdown = 0;
  EXPECT_EQ(tornell::kStatusNoMemory, status);
  ASSERT_EQ(0, DateTimeFormat::Format(out, pattern.c_str(), 2024, 3, 5, 7, 8, 9));
  EXPECT_EQ(132, out.Length());
}

// Calendar names, padding and the local offset against Python's datetime.
TEST(DateTimeFormatTest, AgreesWithPython) {
  REQUIRE_OR_SKIP(basetest::HaveTool("/usr/bin/python3"), "python3 not installed");
  const char* script = R"(
import datetime, time
for y, mo, d, h, mi, s, us in [(2024,3,5,7,8,9,42000), (1999,12,31,23,59,59,999000),
                               (2000,2,29,0,0,0,0), (2038,1,19,3,14,7,5000), (1970,1,1,12,30,1,100000)]:
    t = datetime.datetime(y, mo, d, h, mi, s, us)
    print(t.isoweekday() % 7, t.strftime('%a, %d %b %Y %H:%M:%S.%f')[:-3], t.strftime('%y%m%d%H%M%S'))
now = datetime.datetime.now().astimezone()
print(int(now.utcoffset().total_seconds()), time.strftime('%z'))
u = datetime.datetime.now(datetime.timezone.utc)
print(int(u.timestamp()), u.isoweekday() % 7)
)";
  const int dates[5][7] = {{2024, 3, 5, 7, 8, 9, 42}, {1999, 12, 31, 23, 59, 59, 999},
                           {2000, 2, 29, 0, 0, 0, 0}, {2038, 1, 19, 3, 14, 7, 5},
                           {1970, 1, 1, 12, 30, 1, 100}};
  for (const char* zone : {"UTC", "Asia/Kolkata", "America/St_Johns", "XXX+0:30", "IST-5:30",
                           "America/Los_Angeles"}) {
    SCOPED_TRACE(zone);
    ZoneScope scope(zone);
    std::vector<std::string> lines = basetest::Python(script);
    ASSERT_EQ(7u, lines.size());
    for (int i = 0; i < 5; ++i) {
      const int* t = dates[i];
      const int weekday = std::stoi(lines[i].substr(0, 1));
      EXPECT_EQ(lines[i].substr(2), Fmt("ddd, dd MMM yyyy HH:mm:ss.fff", t[0], t[1], t[2], t[3], t[4],
                                         t[5], t[6], weekday) + " " +
                                         Fmt("yyMMddHHmmss", t[0], t[1], t[2], t[3], t[4], t[5], 0, -1));
    }
    const long offsetSeconds = std::stol(lines[5].substr(0, lines[5].find(' ')));
    int hours = 0;
    int minutes = 0;
    EXPECT_EQ(0, DateTimeFormat::LocalUtcOffset(hours, minutes));
    EXPECT_EQ(offsetSeconds / 60, hours * 60 + minutes);
    EXPECT_EQ(offsetSeconds / 60 / 60, hours);  // both parts carry the sign
    EXPECT_EQ(lines[5].substr(lines[5].find(' ') + 1), Fmt("zzz", 2024, 1, 1, 0, 0, 0, 0, -1));

    int y, mo, d, h, mi, s, f, wd;
    EXPECT_EQ(0, DateTimeFormat::NowUtc(y, mo, d, h, mi, s, f, wd));
    struct tm utc = {};
    utc.tm_year = y - 1900;
    utc.tm_mon = mo - 1;
    utc.tm_mday = d;
    utc.tm_hour = h;
    utc.tm_min = mi;
    utc.tm_sec = s;
    const long long ours = static_cast<long long>(timegm(&utc));
    const long long theirs = std::stoll(lines[6].substr(0, lines[6].find(' ')));
    EXPECT_LE(std::llabs(ours - theirs), 5);
    EXPECT_EQ(0, f);
    if (ours / 86400 == theirs / 86400) {  // not across midnight
      EXPECT_EQ(std::stoi(lines[6].substr(lines[6].find(' ') + 1)), wd);
    }
  }
}

TEST(DateTimeFormatTest, MillisecondClock) {
  const uint64_t before = static_cast<uint64_t>(time(nullptr));
  const uint64_t ms = DateTimeFormat::NowMilliseconds();
  const uint64_t after = static_cast<uint64_t>(time(nullptr));
  EXPECT_EQ(0u, ms % 1000);
  EXPECT_GE(ms / 1000, before);
  EXPECT_LE(ms / 1000, after);
}

}  // namespace
