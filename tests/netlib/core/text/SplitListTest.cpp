#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text/SplitList.h"

using tornell::ForEachListItem;
using tornell::SplitList;
using tornell::StringList;

namespace {

std::vector<std::string> Items(const StringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.emplace_back(list.Get(i), list.EntryLength(i));
  return out;
}

}  // namespace

TEST(SplitList, TrimsSpacesAndDropsEmptyItems) {
  struct Case {
    const char* text;
    char delimiter;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {" a, ,b ,", ',', {"a", "b"}},
      {"", ',', {}},
      {" , ,, ", ',', {}},
      {"one", ',', {"one"}},
      {"  x-foo  ,Authorization", ',', {"x-foo", "Authorization"}},
      {"a b;c\t;d", ';', {"a b", "c\t", "d"}},  // only spaces are trimmed
      {"a,b", ';', {"a,b"}},
  };
  for (const Case& c : cases) {
    StringList list;
    ASSERT_EQ(SplitList(c.text, c.delimiter, list), 0) << c.text;
    EXPECT_EQ(Items(list), c.items) << c.text;
  }
}

TEST(SplitList, AppendsWithoutEmptyingAndTakesNull) {
  StringList list;
  ASSERT_EQ(list.Add("kept"), 0);
  ASSERT_EQ(SplitList("x,y", ',', list), 0);
  ASSERT_EQ(SplitList(nullptr, ',', list), 0);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"kept", "x", "y"}));
}

TEST(SplitList, ForEachListItemSeesTheSameItemsAndStopsOnAnAnswer) {
  std::vector<std::string> seen;
  const auto collect = [&seen](const char* item, int length) {
    seen.emplace_back(item, size_t(length));
    return seen.back() == "stop" ? 7 : 0;
  };
  EXPECT_EQ(ForEachListItem(" a, ,b ,", ',', collect), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b"}));
  seen.clear();
  EXPECT_EQ(ForEachListItem("x, stop ,y", ',', collect), 7);
  EXPECT_EQ(seen, (std::vector<std::string>{"x", "stop"}));
  seen.clear();
  EXPECT_EQ(ForEachListItem(nullptr, ',', collect), 0);
  EXPECT_TRUE(seen.empty());
}
