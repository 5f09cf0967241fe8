// Where the driver finds the runtime and its companion. Each case runs in a
// fresh host process, since a loaded runtime stays loaded for the process.
#include <gtest/gtest.h>

#include "DriverTestKit.h"

namespace drivertest {
namespace {

// A real machine-wide install would answer the shared-path attempt.
#define SKIP_IF_SHARED_INSTALL()                                                     \
  if (fs::exists("/opt/orvex/rt/lib")) GTEST_SKIP() << "/opt/orvex/rt/lib exists here"

constexpr const char kWarningPrefix[] = "Warning: Load library failed, ";

int Warnings(const ProcessResult& result) { return CountLinesStarting(result, kWarningPrefix); }

TEST(SearchOrder, LoaderSearchFindsBothAndStopsThere) {
  HostRun run;
  fs::path libs = run.scratch.Sub("libs");
  PutRuntime(libs);
  ASSERT_NO_FATAL_FAILURE(run.Start({"LD_LIBRARY_PATH=" + libs.string()}));

  EXPECT_TRUE(HasLine(run.result, "@env 0")) << run.result.output;
  EXPECT_TRUE(HasLine(run.result, "Current driver path: " + run.driver.string()));
  EXPECT_TRUE(HasLine(run.result, "Loading runtime library from environment: liborvexrt.x64.so.6"));
  EXPECT_TRUE(HasLine(run.result, "Loading runtime compat library from environment: liborvexrt-compat.x64.so.6"));
  EXPECT_EQ(Warnings(run.result), 0);
  EXPECT_EQ(run.result.output.find("shared path"), std::string::npos);
  EXPECT_EQ(Mapped(run.result), Expected({libs / kCompatName, libs / kRuntimeName}));

  auto calls = ReadCalls(run.calls);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].name, "SQLAllocHandle");
  EXPECT_EQ(calls[0].driverPath, run.driver.string());
  EXPECT_EQ(calls[0].args.at(0), 1u);
  EXPECT_EQ(calls[0].args.at(1), 0u);
}

TEST(SearchOrder, SharedPathAfterLoaderSearchFails) {
  HostRun run(SharedPathDriverFile());
  ASSERT_NO_FATAL_FAILURE(run.Start({}));
  const fs::path shared = SharedRuntimeDir();

  EXPECT_TRUE(HasLine(run.result, "@env 0")) << run.result.output;
  EXPECT_EQ(Warnings(run.result), 2);
  EXPECT_TRUE(HasLine(run.result, "Loading runtime library from shared path: " + (shared / kRuntimeName).string()));
  EXPECT_TRUE(
      HasLine(run.result, "Loading runtime compat library from shared path: " + (shared / kCompatName).string()));
  EXPECT_EQ(run.result.output.find("from driver path"), std::string::npos);
  EXPECT_EQ(Mapped(run.result), Expected({shared / kCompatName, shared / kRuntimeName}));
}

TEST(SearchOrder, DriverDirectoryIsTheLastResort) {
  SKIP_IF_SHARED_INSTALL();
  HostRun run;
  PutRuntime(run.driver.parent_path());
  ASSERT_NO_FATAL_FAILURE(run.Start({}));
  const fs::path dir = run.driver.parent_path();

  EXPECT_TRUE(HasLine(run.result, "@env 0")) << run.result.output;
  EXPECT_EQ(Warnings(run.result), 4);
  EXPECT_TRUE(HasLine(run.result, "Loading runtime library from shared path: /opt/orvex/rt/lib/liborvexrt.x64.so.6"));
  EXPECT_TRUE(HasLine(run.result, "Loading runtime library from driver path: " + (dir / kRuntimeName).string()));
  EXPECT_TRUE(
      HasLine(run.result, "Loading runtime compat library from driver path: " + (dir / kCompatName).string()));
  EXPECT_EQ(Mapped(run.result), Expected({dir / kCompatName, dir / kRuntimeName}));
}

// The loader finds the runtime but no companion: that copy must not stay
// loaded while the search goes on.
TEST(SearchOrder, HalfFoundRuntimeIsClosedBeforeTheNextAttempt) {
  SKIP_IF_SHARED_INSTALL();
  HostRun run;
  fs::path libs = run.scratch.Sub("libs");
  PutRuntime(libs, /*withCompanion=*/false);
  ASSERT_NO_FATAL_FAILURE(run.Start({"LD_LIBRARY_PATH=" + libs.string()}));

  EXPECT_TRUE(HasLine(run.result, "@env -1")) << run.result.output;
  EXPECT_EQ(Warnings(run.result), 5);
  EXPECT_TRUE(Mapped(run.result).empty()) << run.result.output;
  EXPECT_TRUE(ReadCalls(run.calls).empty());
}

TEST(SearchOrder, HalfFoundRuntimeGivesWayToTheDriverDirectory) {
  SKIP_IF_SHARED_INSTALL();
  HostRun run;
  fs::path libs = run.scratch.Sub("libs");
  PutRuntime(libs, /*withCompanion=*/false);
  const fs::path dir = run.driver.parent_path();
  PutRuntime(dir);
  ASSERT_NO_FATAL_FAILURE(run.Start({"LD_LIBRARY_PATH=" + libs.string()}));

  EXPECT_TRUE(HasLine(run.result, "@env 0")) << run.result.output;
  EXPECT_EQ(Mapped(run.result), Expected({dir / kCompatName, dir / kRuntimeName}));
}

TEST(SearchOrder, NothingFoundFailsAndSearchesAgainNextTime) {
  SKIP_IF_SHARED_INSTALL();
  HostRun run;
  ASSERT_NO_FATAL_FAILURE(run.Start({}, {"env", "env", "maps"}));

  EXPECT_EQ(CountLines(run.result, "@env -1"), 2) << run.result.output;
  EXPECT_EQ(CountLines(run.result, "Loading runtime library from environment: liborvexrt.x64.so.6"), 2);
  EXPECT_EQ(Warnings(run.result), 12);
  EXPECT_TRUE(Mapped(run.result).empty());
}

}  // namespace
}  // namespace drivertest
