#include "core/text/TextUtils.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TestSupport.h"

using namespace tornell;

namespace {
int Sign(int v) { return (v > 0) - (v < 0); }
}  // namespace

TEST(TextUtils, CompareNoCaseFoldsOnlyAsciiLetters) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"Content-Length", "content-length", 0},
      {"ABC", "abd", -1},
      {"abc", "ab", 1},
      {"ab", "abc", -1},
      {"", "", 0},
      {"a[", "A{", -1},       // bytes between Z and a are not folded
      {"\xE9", "\xC9", 1},    // high bytes compare unsigned and unfolded
      {"x\xFF", "X", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(CompareNoCase(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
  }
  EXPECT_EQ(CompareNoCaseN("HELLO world", "hello there", 6), 0);
  EXPECT_GT(CompareNoCaseN("HELLO world", "hello there", 7), 0);
  EXPECT_EQ(CompareNoCaseN("a", "b", 0), 0);
}

TEST(TextUtils, IntegerParsers) {
  EXPECT_EQ(ParseInt("-42abc"), -42);
  EXPECT_EQ(ParseInt("+7"), 7);
  EXPECT_EQ(ParseInt("--1"), 0);
  EXPECT_EQ(ParseInt(" 5"), 0);
  EXPECT_EQ(ParseInt("4294967297"), 1);  // wraps in 32 bits
  EXPECT_EQ(ParseInt(nullptr), 0);
  EXPECT_EQ(ParseLong("4294967297"), 4294967297LL);
  EXPECT_EQ(ParseInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseInt64("18446744073709551617"), 1);
  EXPECT_EQ(ParseHexInt("ff"), 255);
  EXPECT_EQ(ParseHexInt("-A"), -10);
  EXPECT_EQ(ParseHexInt("0x10"), 0);
  EXPECT_EQ(ParseHexInt("FFFFFFFF"), -1);
  EXPECT_EQ(ParseHexInt64("7fffffffffffffffZ"), INT64_MAX);
  EXPECT_EQ(ParseHexInt64(nullptr), 0);
}

TEST(TextUtils, SplitAtAndNextToken) {
  char text[] = "host:443";
  char* rest = SplitAt(text, ':');
  EXPECT_STREQ(text, "host");
  EXPECT_STREQ(rest, "443");
  char plain[] = "noseparator";
  rest = SplitAt(plain, ':');
  EXPECT_STREQ(plain, "noseparator");
  EXPECT_EQ(rest, plain + std::strlen(plain));

  char line[] = "name=value;x";
  char* after = nullptr;
  EXPECT_EQ(NextToken(line, ";=", &after), '=');
  EXPECT_STREQ(line, "name");
  EXPECT_STREQ(after, "value;x");
  char none[] = "abc";
  EXPECT_EQ(NextToken(none, ",", &after), 0);
  EXPECT_EQ(after, none + 3);
}

TEST(TextUtils, FindNoCaseAndDigits) {
  const char* text = "Transfer-Encoding: Chunked";
  EXPECT_EQ(FindNoCase(text, "CHUNKED"), text + 19);
  EXPECT_EQ(FindNoCase(text, "gzip"), nullptr);
  EXPECT_EQ(FindNoCase("", "a"), nullptr);
  EXPECT_TRUE(IsHexDigit('F') && IsHexDigit('a') && IsHexDigit('9'));
  EXPECT_FALSE(IsHexDigit('g') || IsHexDigit('x') || IsHexDigit('\0'));
  EXPECT_TRUE(IsBlank('\t') && IsBlank('\r') && !IsBlank('\v'));
}

TEST(TextUtils, ParseDoubleAgreesWithStrtod) {
  const char* texts[] = {"0",       "1.5",         "-2.25e3",   "  +3.125E-2x", "123456789012345678",
                         "1e308",   ".5",        "5.",           "0.000001234",
                         "12e",     "7e+",         "1.2.3",     "99999999999999999999999"};
  for (const char* t : texts) {
    char* ours = nullptr;
    char* libc = nullptr;
    double a = ParseDouble(t, &ours);
    double b = std::strtod(t, &libc);
    EXPECT_NEAR(a, b, std::fabs(b) * 1e-14) << t;
    EXPECT_EQ(ours - t, libc - t) << t;
  }
  char* end = nullptr;
  const char* none = "  abc";
  EXPECT_EQ(ParseDouble(none, &end), 0.0);
  EXPECT_EQ(end, none);
  EXPECT_TRUE(std::isinf(ParseDouble("1e999", nullptr)));  // exponent clamped, not wrapped
}

TEST(TextUtils, FormattingAndGuid) {
  char buffer[32];
  char* cursor = buffer;
  char* end = FormatPaddedUnsigned(&cursor, 42, 5, '0');
  EXPECT_STREQ(buffer, "00042");
  EXPECT_EQ(end, buffer + 5);
  EXPECT_EQ(cursor, end);
  cursor = buffer;
  FormatPaddedUnsigned(&cursor, 123456, 3, ' ');
  EXPECT_STREQ(buffer, "123456");

  Guid g{};
  TextToGuid("{6B29FC40-CA47-1067-B31D-00DD010662DA}", &g);
  EXPECT_EQ(g.data1, 0x6B29FC40UL);
  EXPECT_EQ(g.data2, 0xCA47);
  EXPECT_EQ(g.data4[7], 0xDA);
  char text[37];
  GuidToText(text, &g);
  EXPECT_STREQ(text, "6B29FC40-CA47-1067-B31D-00DD010662DA");
  TextToGuid("6B29FC40-CA", &g);  // stops at a short group; the rest stays zero
  EXPECT_EQ(g.data1, 0x6B29FC40UL);
  EXPECT_EQ(g.data2, 0);
}

TEST(TextUtils, SystemErrorAndLookupHooks) {
  SetSystemError(107);
  EXPECT_EQ(GetSystemError(), 107);
  EXPECT_EQ(errno, 107);
  EXPECT_EQ(IsLookupPending(), 0);
  EXPECT_EQ(CancelLookup(), 0);
}

namespace {

// Runs inside faketime, one second before the tick's wrap: samples the tick
// between two wall-clock readings until it has passed the wrap.
int CheckTickAcrossWrap() {
  bool wrapped = false;
  uint32_t previous = TickCountMs();
  for (int i = 0; i < 300 && !wrapped; ++i) {
    usleep(10000);
    struct timeval before, after;
    gettimeofday(&before, nullptr);
    const uint32_t tick = TickCountMs();
    gettimeofday(&after, nullptr);
    if (before.tv_sec < 1999990 || before.tv_sec > 2000010) {
      std::fprintf(stderr, "clock not faked: %ld\n", static_cast<long>(before.tv_sec));
      return 2;
    }
    auto expected = [](const struct timeval& tv) {
      return static_cast<uint32_t>((tv.tv_sec % 1000000) * 1000 + tv.tv_usec / 1000);
    };
    const bool inside = expected(before) <= expected(after)
                            ? (tick >= expected(before) && tick <= expected(after))
                            : (tick >= expected(before) || tick <= expected(after));
    if (!inside) {
      std::fprintf(stderr, "tick %u outside [%u, %u]\n", tick, expected(before), expected(after));
      return 3;
    }
    if (tick < previous) {
      wrapped = previous >= 999000000u && tick < 1000u;
      if (!wrapped) return 4;
    }
    previous = tick;
  }
  return wrapped ? 0 : 5;
}

}  // namespace

TEST(TickCount, WrapsEveryMillionSeconds) {
  if (std::getenv("CORE_TICK_CHILD") != nullptr) {
    std::exit(CheckTickAcrossWrap());
  }
  REQUIRE_OR_SKIP(access("/usr/bin/faketime", X_OK) == 0, "needs faketime");
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  // The sanitizer runtime must tolerate libfaketime being preloaded first.
  const std::string command =
      std::string("TZ=UTC CORE_TICK_CHILD=1 ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 "
                  "/usr/bin/faketime -f '@1970-01-24 03:33:19' '") +
      self + "' --gtest_filter=TickCount.WrapsEveryMillionSeconds >/dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: clock not faked, 3: tick off the wall clock, 4: wrong wrap, 5: no wrap seen";
}

TEST(TickCount, FollowsTheWallClock) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  const uint32_t tick = TickCountMs();
  const uint32_t expected = static_cast<uint32_t>((tv.tv_sec % 1000000) * 1000 + tv.tv_usec / 1000);
  EXPECT_LT((tick - expected + 1000000000u) % 1000000000u, 1000u);
}
