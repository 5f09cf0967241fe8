#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
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
