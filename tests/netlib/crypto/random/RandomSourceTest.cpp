#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "crypto/random/RandomSource.h"

namespace tornell {
namespace {

TEST(RandomSource, FillsOnlyItsRangeAndDiffersPerCall) {
  RandomSource rng;
  std::vector<uint8_t> a(40, 0xAA), b(40, 0xAA);
  rng.Fill(a.data(), 4, 32);
  rng.Fill(b.data(), 4, 32);
  for (int i : {0, 1, 2, 3, 36, 37, 38, 39}) EXPECT_EQ(a[size_t(i)], 0xAA);
  EXPECT_NE(std::memcmp(a.data() + 4, b.data() + 4, 32), 0);
  std::vector<uint8_t> c(8, 0x55);
  rng.Fill(c.data(), 0, 0);
  rng.Fill(static_cast<uint8_t*>(nullptr), 0, 8);
  EXPECT_EQ(c, std::vector<uint8_t>(8, 0x55));
  // Every bit position takes both values (the top bit of words included).
  std::vector<uint8_t> big(4096);
  rng.Fill(big.data(), 0, int(big.size()));
  uint8_t ones = 0, zeros = 0;
  for (uint8_t v : big) {
    ones |= v;
    zeros |= uint8_t(~v);
  }
  EXPECT_EQ(ones, 0xFF);
  EXPECT_EQ(zeros, 0xFF);
}

TEST(RandomSource, DiffersAcrossProcesses) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    uint8_t buf[32];
    RandomSource().Fill(buf, 0, 32);
    ssize_t n = write(fds[1], buf, sizeof buf);
    _exit(n == 32 ? 0 : 1);
  }
  uint8_t mine[32], theirs[32];
  RandomSource().Fill(mine, 0, 32);
  close(fds[1]);
  ASSERT_EQ(read(fds[0], theirs, 32), 32);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_NE(std::memcmp(mine, theirs, 32), 0);
}

// Bytes drawn ahead by the parent must not reach a child: both draw after
// the fork with the parent's block part used, small and large draws alike.
TEST(RandomSource, ChildNeverRepeatsBytesDrawnAheadByTheParent) {
  for (int size : {16, 32, 200, 600}) {
    SCOPED_TRACE(size);
    uint8_t warm[8];
    RandomSource().Fill(warm, 0, sizeof warm);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::vector<uint8_t> buf(size_t(size) * 4);
      for (int i = 0; i < 4; ++i) RandomSource().Fill(buf.data(), i * size, size);
      ssize_t n = write(fds[1], buf.data(), buf.size());
      _exit(n == ssize_t(buf.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::vector<uint8_t> mine(size_t(size) * 4), theirs(mine.size());
    for (int i = 0; i < 4; ++i) RandomSource().Fill(mine.data(), i * size, size);
    size_t got = 0;
    for (int tries = 0; tries < 1000 && got < theirs.size(); ++tries) {
      ssize_t n = read(fds[0], theirs.data() + got, theirs.size() - got);
      if (n <= 0) break;
      got += size_t(n);
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, theirs.size());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // No 16-byte piece of the child's output appears anywhere in the parent's.
    for (size_t at = 0; at + 16 <= theirs.size(); at += 16) {
      for (size_t from = 0; from + 16 <= mine.size(); ++from) {
        ASSERT_NE(std::memcmp(theirs.data() + at, mine.data() + from, 16), 0) << at << " " << from;
      }
    }
  }
}

TEST(RandomSource, ThreadsDrawDistinctBytes) {
  constexpr int kThreads = 4, kDraws = 64;
  std::vector<std::vector<uint8_t>> out(kThreads, std::vector<uint8_t>(size_t(kDraws) * 16));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&out, t] {
      for (int i = 0; i < kDraws; ++i) RandomSource().Fill(out[size_t(t)].data(), i * 16, 16);
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::vector<uint8_t>> seen;
  for (const std::vector<uint8_t>& bytes : out) {
    for (size_t at = 0; at < bytes.size(); at += 16) {
      EXPECT_TRUE(seen.insert(std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + 16))).second);
    }
  }
}

TEST(RandomSource, FillNonZeroLeavesNoZero) {
  RandomSource rng;
  std::vector<uint8_t> buf(65536 + 2, 0);
  rng.FillNonZero(buf.data(), 1, 65536);
  EXPECT_EQ(buf.front(), 0);
  EXPECT_EQ(buf.back(), 0);
  for (size_t i = 1; i <= 65536; ++i) ASSERT_NE(buf[i], 0) << i;
}

}  // namespace
}  // namespace tornell
