#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ByteStringModel.h"

TEST(ByteStringModel, AgreesWithStdStringOverRandomOperations) {
  std::mt19937 rng(20261210);
  for (int run = 0; run < 30; ++run) {
    std::vector<uint8_t> stream(4000);
    for (uint8_t& b : stream) b = static_cast<uint8_t>(rng());
    std::string failure = coretest::RunByteStringModel(stream.data(), stream.size());
    ASSERT_EQ(failure, "") << "run " << run;
  }
}

TEST(ByteStringModel, AgreesWithTheWipeFlagOn) {
  // The wipe setting changes how blocks are given up and grown, never the content.
  tornell::g_zeroMemory = 1;
  std::mt19937 rng(7);
  std::string failure;
  for (int run = 0; run < 10 && failure.empty(); ++run) {
    std::vector<uint8_t> stream(4000);
    for (uint8_t& b : stream) b = static_cast<uint8_t>(rng());
    failure = coretest::RunByteStringModel(stream.data(), stream.size());
  }
  tornell::g_zeroMemory = 0;
  EXPECT_EQ(failure, "");
}
