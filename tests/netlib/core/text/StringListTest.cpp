#include "core/text/StringList.h"

#include <gtest/gtest.h>

#include <string>

using namespace tornell;

namespace {
std::string Raw(const StringList& list) {
  return std::string(list.RawData().Data(), list.RawData().Length());
}
std::string Entry(const StringList& list, int i) { return std::string(list.Get(i), list.EntryLength(i)); }
}  // namespace

TEST(StringList, ExactLayout) {
  StringList list;
  EXPECT_EQ(list.Add("abc"), 0);
  EXPECT_EQ(Raw(list), std::string("\x00\x00\x03" "abc\x00", 7));
  EXPECT_EQ(list.Add("x\0y", 3), 0);
  EXPECT_EQ(list.Add(nullptr), 0);
  EXPECT_EQ(Raw(list), std::string("\x00\x00\x03" "abc\x00" "\x00\x00\x03" "x\x00y\x00" "\x00\x00\x00\x00", 18));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.EntryLength(1), 3);
  EXPECT_EQ(Entry(list, 1), std::string("x\0y", 3));
  EXPECT_STREQ(list.Get(3), "");
  EXPECT_STREQ(list.Get(-1), "");
  EXPECT_EQ(list.EntryLength(7), 0);
  EXPECT_EQ(StringList::ReadLength24("\x01\x02\x03"), 0x010203);
}

TEST(StringList, SetMovesLaterEntries) {
  StringList list;
  EXPECT_EQ(0, list.Add("zero"));
  EXPECT_EQ(0, list.Add("one"));
  EXPECT_EQ(0, list.Add("two"));
  EXPECT_EQ(list.Set(1, "a longer entry"), 0);
  EXPECT_STREQ(list.Get(0), "zero");
  EXPECT_STREQ(list.Get(1), "a longer entry");
  EXPECT_STREQ(list.Get(2), "two");
  EXPECT_EQ(list.Set(1, "s"), 0);
  EXPECT_STREQ(list.Get(1), "s");
  EXPECT_STREQ(list.Get(2), "two");
  EXPECT_EQ(Raw(list).size(), 4u + 4 + 1 + 4 + 3 + 4);
  EXPECT_EQ(list.Set(3, "x"), 432);
  EXPECT_EQ(list.Set(-1, "x"), 432);
  EXPECT_EQ(list.Set(2, list.Get(0)), 0);  // a source inside the list itself
  EXPECT_STREQ(list.Get(2), "zero");
  EXPECT_EQ(list.SetInt(0, 4294967297L), 0);
  EXPECT_EQ(list.SetInt64(1, 4294967296L), 0);
  EXPECT_EQ(list.GetLong(0), 1);
  EXPECT_EQ(list.GetInt64(1), 4294967296L);
}

TEST(StringList, AddIntWritesTheLow32BitsInDecimal) {
  const struct {
    long value;
    const char* text;
  } kCases[] = {{0, "0"},
                {7, "7"},
                {-5, "-5"},
                {1000000000, "1000000000"},
                {2147483647, "2147483647"},
                {-2147483647L - 1, "-2147483648"},
                {4294967295L, "-1"},
                {4294967296L + 42, "42"}};
  StringList list;
  for (const auto& c : kCases) ASSERT_EQ(0, list.AddInt(c.value));
  for (int i = 0; i < list.Count(); ++i) EXPECT_STREQ(list.Get(i), kCases[i].text) << i;
}

TEST(StringList, NumbersAndSearch) {
  StringList list;
  EXPECT_EQ(0, list.AddInt(4294967296L));
  EXPECT_EQ(0, list.AddInt64(4294967296L));
  EXPECT_EQ(0, list.AddInt(-5));
  EXPECT_STREQ(list.Get(0), "0");
  EXPECT_STREQ(list.Get(1), "4294967296");
  EXPECT_EQ(list.GetLong(2), -5);
  EXPECT_EQ(0, list.Add("dup"));
  EXPECT_EQ(0, list.Add("x"));
  EXPECT_EQ(0, list.Add("dup"));
  EXPECT_EQ(list.IndexOf("dup", 0), 3);
  EXPECT_EQ(list.IndexOf("dup", 4), 5);
  EXPECT_EQ(list.IndexOf("dup", 6), -1);
  EXPECT_EQ(list.IndexOf("none", 0), -1);
}

TEST(StringList, CountAndRemoval) {
  StringList list;
  EXPECT_EQ(list.RemoveLast(), 433);
  EXPECT_EQ(list.AppendToLast("first"), 0);
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.AppendToLast("+more"), 0);
  EXPECT_STREQ(list.Get(0), "first+more");
  EXPECT_EQ(list.EntryLength(0), 10);
  EXPECT_EQ(list.SetCount(3), 0);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.EntryLength(2), 0);
  EXPECT_EQ(list.SetCount(-1), 0);
  EXPECT_EQ(list.Count(), 3);

  // Removal moves later entries as bytes: NULs inside them survive.
  EXPECT_EQ(0, list.Set(1, "a\0b", 3));
  EXPECT_EQ(0, list.Set(2, "c\0\0d", 4));
  EXPECT_EQ(list.RemoveAt(3), 432);
  EXPECT_EQ(list.RemoveAt(0), 0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(Entry(list, 0), std::string("a\0b", 3));
  EXPECT_EQ(Entry(list, 1), std::string("c\0\0d", 4));
  EXPECT_EQ(Raw(list), std::string("\x00\x00\x03" "a\0b\0" "\x00\x00\x04" "c\0\0d\0", 15));
  EXPECT_EQ(list.RemoveLast(), 0);
  EXPECT_EQ(list.SetCount(0), 0);
  EXPECT_EQ(Raw(list), "");

  StringList copy;
  EXPECT_EQ(0, list.Add("k"));
  EXPECT_EQ(copy.Assign(list), 0);
  EXPECT_EQ(copy.Count(), 1);
  EXPECT_STREQ(copy.Get(0), "k");
}

TEST(StringList, EntrySizeLimit) {
  StringList list;
  std::string big(0xFFFFFF, 'e');
  EXPECT_EQ(list.Add(big.data(), 0xFFFFFF), 0);
  EXPECT_EQ(list.EntryLength(0), 0xFFFFFF);
  EXPECT_EQ(list.Add(big.data(), 0x1000000), 200);
  EXPECT_EQ(list.AppendToLast("x"), 200);
  EXPECT_EQ(list.Count(), 1);
}
