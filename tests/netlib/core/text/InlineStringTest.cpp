#include "core/buffer/AllocationFault.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace tornell;

namespace {
std::string Str(const InlineString<99>& s) { return std::string(s.Data(), s.Length()); }

// Turns the process-wide wipe flag on for one test and off again after it.
struct WipeOn {
  WipeOn() { g_zeroMemory = 1; }
  ~WipeOn() { g_zeroMemory = 0; }
};
}  // namespace

TEST(InlineString, NewStringAndGrowthRule) {
  ByteString s;
  EXPECT_EQ(s.Length(), 0);
  EXPECT_STREQ(s.Data(), "");
  EXPECT_EQ(s.Capacity(), 99);

  std::string text(99, 'a');
  ASSERT_EQ(s.Set(text.c_str()), 0);
  EXPECT_EQ(s.Capacity(), 99);  // still inline
  ASSERT_EQ(s.AppendByte('b'), 0);
  EXPECT_EQ(s.Capacity(), 150);
  ASSERT_EQ(s.AppendRepeated(50, 'c'), 0);
  EXPECT_EQ(s.Length(), 150);
  EXPECT_EQ(s.Capacity(), 150);
  ASSERT_EQ(s.AppendByte('d'), 0);
  EXPECT_EQ(s.Capacity(), 226);
  EXPECT_EQ(s.Data()[151], '\0');

  ASSERT_EQ(s.Resize(10), 0);  // back inline, first bytes kept
  EXPECT_EQ(s.Capacity(), 99);
  EXPECT_EQ(Str(s), std::string(10, 'a'));

  ShortString small("0123456789012345678901");
  EXPECT_EQ(small.Length(), 22);
  EXPECT_EQ(small.Capacity(), 33);
}

TEST(InlineString, SetAndAppendArguments) {
  ByteString s("abc");
  EXPECT_EQ(s.Set("xyz", -5), 0);
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(0, s.Set("abc"));
  EXPECT_EQ(s.Set(nullptr), 0);
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(0, s.Set("abc"));
  EXPECT_EQ(s.Append(nullptr, 5), 0);
  EXPECT_EQ(s.Append("zz", 0), 0);
  EXPECT_EQ(s.Append(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(Str(s), "abc");
  EXPECT_EQ(s.Append("\0q", 2), 0);  // bytes, NUL included
  EXPECT_EQ(s.Length(), 5);
  EXPECT_EQ(s.AppendQuoted("x"), 0);
  EXPECT_EQ(Str(s), std::string("abc\0q\"x\"", 8));

  ByteString other("tail");
  EXPECT_EQ(0, s.Set("head-"));
  EXPECT_EQ(s.Append(other), 0);
  EXPECT_EQ(Str(s), "head-tail");
  ShortString copy;
  EXPECT_EQ(copy.Assign(s), 0);
  EXPECT_TRUE(copy.Equals(s));
  EXPECT_EQ(s.SetInt64(-1234567890123LL), 0);
  EXPECT_EQ(Str(s), "-1234567890123");
  EXPECT_EQ(s.ToLong(), -1234567890123LL);
}

TEST(InlineString, AppendOfOwnBytesSurvivesReallocation) {
  ByteString s;
  EXPECT_EQ(0, s.AppendRepeated(140, 'x'));
  EXPECT_EQ(0, s.Append("END"));
  ASSERT_LT(s.Capacity(), 2 * s.Length());
  // Appending the string to itself forces the block to move.
  ASSERT_EQ(s.Append(s.Data(), s.Length()), 0);
  EXPECT_EQ(s.Length(), 286);
  EXPECT_EQ(std::string(s.Data() + 143, 143), std::string(s.Data(), 143));
}

TEST(InlineString, GrowthPastIntMaxFails) {
  ByteString s("abc");
  // The sum would wrap in 32 bits; the string refuses and stays as it was.
  EXPECT_EQ(0, s.AppendRepeated(200, 'y'));
  const int before = s.Length();
  static const char dummy[1] = {0};
  // Append with a count that passes INT_MAX together with the length.
  EXPECT_EQ(s.Append(dummy, static_cast<long>(INT_MAX)), 200);
  EXPECT_EQ(s.Length(), before);
  EXPECT_EQ(s.AppendRepeated(INT_MAX - 10, 'z'), 200);
  EXPECT_EQ(s.Length(), before);
  EXPECT_EQ(s.ByteAt(0), 'a');
}

TEST(InlineString, FailedAllocationKeepsTheContent) {
  struct Grow {
    const char* name;
    int (*run)(ByteString&);
  } grows[] = {
      {"inline to heap", [](ByteString& s) { return s.AppendRepeated(100, 'x'); }},
      {"realloc", [](ByteString& s) { return s.AppendRepeated(1000, 'x'); }},
      {"new block for a source", [](ByteString& s) {
         std::string big(2000, 's');
         return s.Set(big.c_str());
       }},
      {"SetLength", [](ByteString& s) { return s.SetLength(5000); }},
      {"Format", [](ByteString& s) { return s.AppendFormat("%0400d", 1); }},
      {"utf-16 work area", [](ByteString& s) { return s.Utf16LeToUtf8(); }},
      {"Reserve", [](ByteString& s) { return s.Reserve(3000); }},
  };
  for (const Grow& g : grows) {
    for (int start : {50, 120}) {
      ByteString s;
      EXPECT_EQ(0, s.AppendRepeated(start, 'k'));
      const std::string before = Str(s);
      g_allocationFaultCountdown = 1;
      EXPECT_EQ(g.run(s), 200) << g.name << " from " << start;
      g_allocationFaultCountdown = 0;
      EXPECT_EQ(Str(s), before) << g.name << " from " << start;
      EXPECT_EQ(s.Data()[s.Length()], '\0');
      EXPECT_EQ(s.AppendRepeated(400, 'z'), 0) << "usable again after " << g.name;
    }
  }
}

// Reserved room takes the growth that follows without moving the bytes again.
TEST(InlineString, ReserveKeepsContentAndRoom) {
  for (int start : {10, 150}) {
    ByteString s;
    ASSERT_EQ(s.AppendRepeated(start, 'r'), 0);
    ASSERT_EQ(s.Reserve(2000), 0);
    EXPECT_GE(s.Capacity(), 2000);
    EXPECT_EQ(Str(s), std::string(size_t(start), 'r'));
    EXPECT_EQ(s.Data()[s.Length()], '\0');
    const char* block = s.Data();
    ASSERT_EQ(s.AppendRepeated(2000 - start, 'g'), 0);
    EXPECT_EQ(s.Data(), block) << "from " << start;
    ASSERT_EQ(s.Reserve(10), 0);  // less than held: nothing changes
    EXPECT_EQ(s.Data(), block);
    EXPECT_EQ(s.Length(), 2000);
  }
}

// A truncated string keeps its block for the next fill; a secret one leaves
// nothing of the cut bytes in it, a plain one needs not spend the wipe.
TEST(InlineString, TruncateKeepsTheBlock) {
  SecretBytes secret;
  ByteString plain;
  for (ByteString* s : {static_cast<ByteString*>(&secret), &plain}) {
    ASSERT_EQ(s->AppendRepeated(300, 't'), 0);
    const char* block = s->Data();
    const int capacity = s->Capacity();
    EXPECT_EQ(s->Truncate(400), 0);  // longer than held: nothing changes
    EXPECT_EQ(s->Length(), 300);
    EXPECT_EQ(s->Truncate(10), 0);
    EXPECT_EQ(Str(*s), std::string(10, 't'));
    EXPECT_EQ(s->Data()[10], '\0');
    EXPECT_EQ(s->Data(), block);
    EXPECT_EQ(s->Capacity(), capacity);
    if (s == &secret) {
      for (int i = 10; i < 300; ++i) ASSERT_EQ(s->Data()[i], 0) << i;
    }
    EXPECT_EQ(s->Truncate(-1), 0);
    EXPECT_EQ(s->Length(), 0);
    ASSERT_EQ(s->AppendRepeated(250, 'u'), 0);
    EXPECT_EQ(s->Data(), block);  // refilled without a new block
  }
}

TEST(InlineString, SetLengthZeroesNewBytes) {
  ByteString s("abc");
  ASSERT_EQ(s.SetLength(10), 0);
  for (int i = 3; i < 10; ++i) EXPECT_EQ(s.ByteAt(i), 0);
  ASSERT_EQ(s.SetLength(300), 0);
  for (int i = 10; i < 300; ++i) ASSERT_EQ(s.ByteAt(i), 0);
}

TEST(InlineString, AccessOutOfRange) {
  ByteString s("ab\xE9");
  EXPECT_EQ(s.ByteAt(2), 0xE9);
  EXPECT_EQ(s.ByteAt(3), 0);
  EXPECT_EQ(s.ByteAt(-1), 0);
  EXPECT_STREQ(s.At(1), "b\xE9");
  EXPECT_STREQ(s.At(3), "");
  EXPECT_STREQ(s.At(-1), "");
}

TEST(InlineString, Cutting) {
  struct Case {
    int start, end, status;
    const char* result;
  } cases[] = {
      {2, 100, 0, "cdef"}, {6, 7, 432, "abcdef"}, {3, 1, 0, ""},
      {-1, 3, 432, "abcdef"}, {1, -1, 432, "abcdef"}, {0, 6, 0, "abcdef"},
  };
  for (const Case& c : cases) {
    ByteString s("abcdef");
    EXPECT_EQ(s.Substring(c.start, c.end), c.status) << c.start << "," << c.end;
    EXPECT_EQ(Str(s), c.result) << c.start << "," << c.end;
  }
  ByteString empty;
  EXPECT_EQ(empty.Substring(0, 0), 432);

  ByteString s("abcdef");
  EXPECT_EQ(s.EraseFront(0), 0);
  EXPECT_EQ(s.EraseFront(2), 0);
  EXPECT_EQ(Str(s), "cdef");
  EXPECT_EQ(s.EraseFront(100), 0);
  EXPECT_EQ(s.Length(), 0);

  ByteString big;
  EXPECT_EQ(0, big.AppendRepeated(120, 'q'));
  big.DropLast();
  EXPECT_EQ(big.Length(), 119);
  EXPECT_EQ(big.Data()[119], '\0');
  EXPECT_EQ(big.Substring(100), 0);
  EXPECT_EQ(big.Length(), 19);
  EXPECT_EQ(big.Capacity(), 99);
}

TEST(InlineString, TrimKeepsHighBytes) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {" \tabc\r\n", "abc"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},   // UTF-8 ending is text, not blank
      {"\xE9 x \xE9", "\xE9 x \xE9"},
      {"\x01\x1F x\x20", "x"},
      {"   ", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    ByteString s(c.in);
    EXPECT_EQ(s.Trim(), 0);
    EXPECT_STREQ(s.Data(), c.out) << c.in;
  }
  ByteString s("  a b  ");
  EXPECT_EQ(0, s.TrimChar(' '));
  EXPECT_STREQ(s.Data(), "a b");
  ByteString mixed("aZ\xC9z09");
  mixed.ToUpper();
  EXPECT_STREQ(mixed.Data(), "AZ\xC9Z09");
  mixed.ToLower();
  EXPECT_STREQ(mixed.Data(), "az\xC9z09");
}

TEST(InlineString, ComparingAndSearching) {
  ByteString s;
  EXPECT_EQ(0, s.Set("abc\0d", 5));
  EXPECT_TRUE(s.Equals("abc", -1));
  EXPECT_TRUE(s.Equals("abc\0d", 5));
  EXPECT_FALSE(s.Equals("abc\0e", 5));
  EXPECT_FALSE(s.Equals("abc", 3));

  ByteString h("Content-Type: text");
  EXPECT_TRUE(h.EqualsIgnoreCase("content-type: TEXT"));
  EXPECT_TRUE(h.StartsWith("Content"));
  EXPECT_FALSE(h.StartsWith("content"));
  EXPECT_TRUE(h.EndsWith("text"));
  EXPECT_FALSE(h.EndsWith("a much longer text than the content itself"));
  EXPECT_EQ(h.Find(""), 0);
  EXPECT_EQ(ByteString().Find(""), 0);
  EXPECT_EQ(h.Find("t", -1), -1);
  EXPECT_EQ(h.Find("t"), 3);
  EXPECT_EQ(h.Find("t", 4), 6);
  EXPECT_EQ(h.Find("text"), 14);
  EXPECT_EQ(h.Find("texts"), -1);
  EXPECT_EQ(h.Find(':'), 12);
  EXPECT_EQ(h.Find(':', 13), -1);
  EXPECT_TRUE(h.Contains("Type"));
  EXPECT_EQ(s.FindBytes("\0d", 2, 0), 3);
  EXPECT_EQ(s.FindBytes("c", -1, 3), -1);
  EXPECT_EQ(s.FindBytes(nullptr, 1, 0), -1);
}

TEST(InlineString, ReplaceAll) {
  struct Case {
    const char* in;
    const char* pattern;
    const char* replacement;
    const char* out;
  } cases[] = {
      {"aaaa", "aa", "b", "bb"}, {"a", "aa", "b", "a"},      {"a.b.c", ".", "::", "a::b::c"},
      {"xyx", "x", nullptr, "y"}, {"abc", "", "z", "abc"},   {"abc", "q", "z", "abc"},
  };
  for (const Case& c : cases) {
    ByteString s(c.in);
    EXPECT_EQ(s.ReplaceAll(c.pattern, c.replacement), 0);
    EXPECT_STREQ(s.Data(), c.out) << c.in;
  }
  ByteString big;
  for (int i = 0; i < 100; ++i) EXPECT_EQ(0, big.Append("ab"));
  EXPECT_EQ(big.ReplaceAll("b", "cc"), 0);
  EXPECT_EQ(big.Length(), 300);
}

TEST(InlineString, WipeFlagClearsStorage) {
  WipeOn wipe;
  ByteString s;
  EXPECT_EQ(0, s.AppendRepeated(99, 's'));
  s.Clear();
  // All N + 1 inline bytes are zero, not only the first.
  for (int i = 0; i <= 99; ++i) ASSERT_EQ(s.Data()[i], 0) << i;
  ByteString big;
  EXPECT_EQ(0, big.AppendRepeated(200, 'k'));
  EXPECT_EQ(big.Clear(), 0);
  EXPECT_EQ(big.Length(), 0);
}

TEST(InlineString, SecretWipesInlineBytesLeftBehind) {
  SecretBytes s;
  ASSERT_EQ(0, s.AppendRepeated(60, 's'));
  ASSERT_EQ(0, s.Resize(5));                 // a shrink leaves bytes 5-59 in the buffer
  ASSERT_EQ(0, s.AppendRepeated(200, 'h'));  // on the heap now; the inline bytes stay
  ASSERT_EQ(0, s.Resize(3));                 // inline again, over the old bytes' front
  s.Clear();
  for (int i = 0; i <= 60; ++i) ASSERT_EQ(s.Data()[i], 0) << i;
  SecretBytes moved;
  ASSERT_EQ(0, moved.AppendRepeated(40, 'm'));
  SecretBytes taker(std::move(moved));
  for (int i = 0; i <= 40; ++i) ASSERT_EQ(moved.Data()[i], 0) << i;  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(taker.Length(), 40);
}

TEST(InlineString, MoveHandsOverStorage) {
  ByteString a;
  EXPECT_EQ(0, a.AppendRepeated(300, 'm'));
  const char* block = a.Data();
  ByteString b(std::move(a));
  EXPECT_EQ(b.Data(), block);
  EXPECT_EQ(b.Length(), 300);
  EXPECT_EQ(a.Length(), 0);  // NOLINT(bugprone-use-after-move): moved-from is empty
  ByteString c("inline");
  a = std::move(c);
  EXPECT_STREQ(a.Data(), "inline");
}
