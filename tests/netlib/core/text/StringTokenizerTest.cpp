#include "core/text/StringTokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tornell;

namespace {
std::vector<std::string> All(StringTokenizer& t) {
  std::vector<std::string> out;
  for (int guard = 0; t.HasMore() && guard < 100; ++guard) out.emplace_back(t.NextToken());
  return out;
}
using Tokens = std::vector<std::string>;
}  // namespace

TEST(StringTokenizer, Cases) {
  struct Case {
    const char* text;
    const char* delimiters;
    Tokens tokens;
  } cases[] = {
      {"h2,http/1.1", ",", {"h2", "http/1.1"}},
      {"a\r\nb\r\n", "\r\n", {"a", "b", ""}},  // one delimiter byte left after b
      {"//a/b", "/", {"a", "b"}},
      {"a,,", ",", {"a", ""}},
      {"", ",", {}},
      {"plain", ",", {"plain"}},
      {"one two", nullptr, {"one two"}},  // an empty set: the rest is one token
  };
  for (const Case& c : cases) {
    StringTokenizer t;
    ASSERT_EQ(t.Start(c.text, c.delimiters), 0);
    EXPECT_EQ(All(t), c.tokens) << c.text;
    EXPECT_STREQ(t.NextToken(), "");
    EXPECT_STREQ(t.NextToken(), "");
  }
  StringTokenizer defaults;
  EXPECT_STREQ(defaults.NextToken(), "");
  EXPECT_EQ(0, defaults.Start("x\ty", " \r\n\t"));
  EXPECT_EQ(All(defaults), (Tokens{"x", "y"}));

  StringTokenizer withNul;
  EXPECT_EQ(0, withNul.Start("ab\0c,d", 6, ","));
  EXPECT_STREQ(withNul.NextToken(), "ab");  // the NUL ends what the caller sees
  EXPECT_STREQ(withNul.NextToken(), "d");
  EXPECT_EQ(withNul.HasMore(), 0);
}
