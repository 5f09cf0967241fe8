#include "core/buffer/ByteQueue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace tornell;

namespace {

// Feeds the reads one after another and collects every record handed out.
std::vector<std::string> Records(ByteQueue& q, const std::vector<std::string>& reads) {
  std::vector<std::string> out;
  for (const std::string& r : reads) {
    char* at = nullptr;
    unsigned size = static_cast<unsigned>(r.size());
    q.GetWriteSpan(&at, &size);
    EXPECT_GE(size, r.size());
    std::memcpy(at, r.data(), r.size());
    EXPECT_EQ(q.CommitWrite(static_cast<unsigned>(r.size())), 1);
    char* record = nullptr;
    unsigned n = 0;
    while (q.ReadRecord(&record, &n) == 1) out.emplace_back(record, n);
  }
  return out;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(ByteQueue, LineEndsIncludingPairsSplitAcrossReads) {
  struct Case {
    Lines reads;
    Lines lines;
  } cases[] = {
      {{"ab\r\ncd\n"}, {"ab", "cd"}},
      {{"ab\r", "\ncd\r\n"}, {"ab", "cd"}},           // CR LF split across two reads
      {{"ab\n", "\rcd\n"}, {"ab", "cd"}},             // LF CR split as well
      {{"ab\r", "\n", "\rx\r\n"}, {"ab", "", "x"}},   // a lone CR ends an empty line
      {{"a\r\rb\n"}, {"a", "", "b"}},
      {{"par", "tial", "\n"}, {"partial"}},
  };
  for (const Case& c : cases) {
    ByteQueue q;
    ASSERT_EQ(q.Allocate(64), 1);
    q.SetLineMode(1);
    EXPECT_EQ(Records(q, c.reads), c.lines) << c.reads[0];
  }
}

TEST(ByteQueue, TerminatorAndWholeRecords) {
  ByteQueue q;
  EXPECT_EQ(tornell::kDone, q.Allocate(32));
  EXPECT_EQ(q.SetTerminator("||", 2), 1);
  EXPECT_EQ(Records(q, {"x||y"}), Lines{"x"});
  EXPECT_EQ(q.Length(), 1u);  // y waits for its terminator
  EXPECT_EQ(Records(q, {"z||"}), Lines{"yz"});
  char* t = nullptr;
  int tl = 0;
  q.GetTerminator(&t, &tl);
  EXPECT_EQ(std::string(t, tl), "||");

  EXPECT_EQ(tornell::kDone, q.SetTerminator(nullptr, 0));
  EXPECT_EQ(q.TerminatorLength(), 0u);
  EXPECT_EQ(Records(q, {"all of it"}), Lines{"all of it"});
  EXPECT_EQ(q.Length(), 0u);

  EXPECT_EQ(tornell::kDone, q.Append("abcdef", 6));
  char* out = nullptr;
  unsigned n = 3;
  EXPECT_EQ(q.ReadAvailable(&out, &n), 1);
  EXPECT_EQ(std::string(out, n), "abc");
  n = 0;
  EXPECT_EQ(q.ReadAvailable(&out, &n), 1);
  EXPECT_EQ(std::string(out, n), "def");
  EXPECT_EQ(q.ReadAvailable(&out, &n), 0);
  EXPECT_EQ(n, 0u);

  int length = -1;
  EXPECT_EQ(tornell::kDone, q.Append("qq", 2));
  EXPECT_EQ(q.ReadRecord(out, length), 1);
  EXPECT_EQ(length, 2);
}

TEST(ByteQueue, SpaceAndCompaction) {
  ByteQueue q;
  EXPECT_EQ(tornell::kDone, q.Allocate(16));
  EXPECT_EQ(tornell::kDone, q.Append("01234567abcdef", 14));
  char* out = nullptr;
  unsigned n = 8;
  q.ReadAvailable(&out, &n);  // 6 bytes left at start 8
  EXPECT_EQ(q.TailSpace(), 2u);
  EXPECT_EQ(q.Append("0123456789", 10), 1);  // compacts to make room
  EXPECT_EQ(q.Length(), 16u);
  n = 0;
  q.ReadAvailable(&out, &n);
  EXPECT_EQ(std::string(out, n), "abcdef0123456789");

  EXPECT_EQ(tornell::kDone, q.Append("abcdef", 6));
  EXPECT_EQ(q.Append("01234567890", 11), 0);  // too big: nothing stored
  EXPECT_EQ(q.Length(), 6u);
  EXPECT_EQ(q.CommitWrite(11), 0);

  EXPECT_EQ(q.Allocate(16), 1);  // same capacity: same buffer, emptied
  EXPECT_EQ(q.Length(), 0u);

  // The write span: compacted when the wanted size passes the tail.
  ByteQueue s;
  EXPECT_EQ(tornell::kDone, s.Allocate(8));
  EXPECT_EQ(tornell::kDone, s.Append("abcdef", 6));
  n = 4;
  s.ReadAvailable(&out, &n);  // "ef" left at start 4
  char* at = nullptr;
  unsigned size = 5;
  EXPECT_EQ(s.GetWriteSpan(&at, &size), 1);
  EXPECT_EQ(size, 6u);
  std::memcpy(at, "ghijkl", 6);
  EXPECT_EQ(s.CommitWrite(6), 1);
  n = 0;
  s.ReadAvailable(&out, &n);
  EXPECT_EQ(std::string(out, n), "efghijkl");
  EXPECT_EQ(tornell::kDone, s.Append("xy", 2));
  size = 7;  // more than is free: the whole free span and 0
  EXPECT_EQ(s.GetWriteSpan(&at, &size), 0);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(ByteQueue::Find("abcabd", 6, "abd", 3), 3);
  EXPECT_EQ(ByteQueue::Find("ab", 2, "abc", 3), -1);
  EXPECT_EQ(ByteQueue::Find("ab", 2, "", 0), -1);
}
