#include "core/buffer/AllocationFault.h"
#include "core/buffer/PtrList.h"

#include <gtest/gtest.h>

#include "core/text/ByteString.h"

using namespace tornell;

namespace {

// Element with the three operations the list relies on; counts live objects.
struct Record {
  static int live;
  ByteString name;
  int value = 0;
  Record() { ++live; }
  Record(const char* n, int v) : Record() {
    EXPECT_EQ(0, name.Set(n));
    value = v;
  }
  ~Record() { --live; }
  static Record* Clone(const Record* from) {
    Record* copy = new Record();
    EXPECT_EQ(0, copy->name.Assign(from->name));
    copy->value = from->value;
    return copy;
  }
};
int Record::live = 0;

std::string Names(PtrList<Record>& list) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    Record* r = list.Get(i);
    out += r->name.Data();
    out += ',';
  }
  return out;
}

class PtrListTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(Record::live, 0) << "every element must be destroyed"; }
};

}  // namespace

TEST_F(PtrListTest, AppendStoresDeepCopies) {
  PtrList<Record> list;
  {
    Record local("a", 1);
    EXPECT_EQ(list.Append(local), 0);
    EXPECT_EQ(0, local.name.Set("changed"));
    local.value = 9;
  }
  ASSERT_EQ(list.Count(), 1);
  EXPECT_STREQ(list.Get(0)->name.Data(), "a");
  EXPECT_EQ(list.Get(0)->value, 1);
}

TEST_F(PtrListTest, InsertPositions) {
  PtrList<Record> list;
  for (const char* n : {"a", "b", "c"}) EXPECT_EQ(0, list.Add(Record(n, 0)));
  Record end("end", 0), front("front", 0), mid("mid", 0);
  EXPECT_EQ(list.InsertCopy(100, &end), 0);  // past the end appends
  EXPECT_EQ(list.InsertCopy(0, &front), 0);
  EXPECT_EQ(list.Add(2, mid), 0);
  EXPECT_EQ(Names(list), "front,a,mid,b,c,end,");
  EXPECT_EQ(list.InsertCopy(-1, &end), -1);
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(list.Get(-1), nullptr);
  EXPECT_EQ(list.Get(6), nullptr);  // never reaches past the count
}

TEST_F(PtrListTest, ResizeCreatesOnFirstAccess) {
  PtrList<Record> list;
  EXPECT_EQ(list.Resize(5), 0);
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(Record::live, 0);  // slots stay empty until used
  Record* r = list.Get(2);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(list.Get(2), r);
  EXPECT_EQ(Record::live, 1);
  EXPECT_EQ(list.Resize(1), 0);  // drops the element in slot 2
  EXPECT_EQ(Record::live, 0);
}

TEST_F(PtrListTest, GrowsToHeapAndBack) {
  PtrList<Record> list;
  for (int i = 0; i < 20; ++i) EXPECT_EQ(0, list.Append(Record("x", i)));
  EXPECT_EQ(list.Capacity(), 20);
  EXPECT_EQ(0, list.Append(Record("x", 20)));
  EXPECT_EQ(list.Capacity(), 42);
  for (int i = 21; i < 43; ++i) EXPECT_EQ(0, list.Append(Record("x", i)));
  EXPECT_EQ(list.Capacity(), 86);
  for (int i = 0; i < 43; ++i) ASSERT_EQ(list.Get(i)->value, i);
  EXPECT_EQ(list.Resize(20), 0);
  EXPECT_EQ(list.Capacity(), 20);
  EXPECT_EQ(Record::live, 20);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(list.Get(i)->value, i);
}

TEST_F(PtrListTest, RemoveAt) {
  PtrList<Record> list;
  EXPECT_EQ(0, list.Append(Record("only", 0)));
  EXPECT_EQ(list.RemoveAt(0), 0);
  EXPECT_EQ(list.Count(), 0);
  for (const char* n : {"a", "b", "c"}) EXPECT_EQ(0, list.Add(Record(n, 0)));
  EXPECT_EQ(list.RemoveAt(5), 0);
  EXPECT_EQ(list.Remove(-1), 0);
  EXPECT_EQ(Names(list), "a,b,c,");
  EXPECT_EQ(list.Remove(1), 0);
  EXPECT_EQ(Names(list), "a,c,");
  list.RemoveAll();
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(PtrListTest, FailedGrowthKeepsTheList) {
  PtrList<Record> list;
  for (int i = 0; i < 20; ++i) EXPECT_EQ(0, list.Append(Record("k", i)));
  g_allocationFaultCountdown = 1;  // the pointer array for the 21st element
  Record extra("extra", 99);
  EXPECT_EQ(list.Append(extra), 200);
  g_allocationFaultCountdown = 0;
  EXPECT_EQ(list.Count(), 20);
  EXPECT_EQ(list.Capacity(), 20);
  EXPECT_EQ(Record::live, 21);  // nothing destroyed, the copy not leaked
  for (int i = 0; i < 20; ++i) ASSERT_EQ(list.Get(i)->value, i);
  EXPECT_EQ(list.Append(extra), 0);
  EXPECT_EQ(list.Count(), 21);
}

namespace {
// The other copy shape some records use: a member Clone().
struct MemberCloned {
  int value = 0;
  MemberCloned* Clone() const {
    MemberCloned* copy = new MemberCloned();
    copy->value = value;
    return copy;
  }
};
}  // namespace

TEST(PtrList, MemberCloneIsUsedToo) {
  PtrList<MemberCloned> list;
  MemberCloned local;
  local.value = 7;
  EXPECT_EQ(list.Append(local), 0);
  local.value = 8;
  EXPECT_EQ(list.Get(0)->value, 7);
}
