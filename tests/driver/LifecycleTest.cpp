// The counted environment lifecycle: loading at the first environment,
// clearing after the last, and unloading only when asked to. Each case runs in
// a fresh host process and watches the process's own mappings.
#include <gtest/gtest.h>

#include "DriverTestKit.h"

namespace drivertest {
namespace {

constexpr const char kIgnored[] = "Driver.UnloadRuntime().Ignored";

struct Lifecycle : ::testing::Test {
  HostRun run;
  fs::path dir;
  void SetUp() override {
    dir = run.driver.parent_path();
    PutRuntime(dir);
  }
  std::vector<std::string> Loaded() const { return Expected({dir / kCompatName, dir / kRuntimeName}); }
  std::vector<std::string> CompanionOnly() const { return Expected({dir / kCompatName}); }
};

TEST_F(Lifecycle, SecondEnvironmentKeepsTheRuntimeUntilItIsFreed) {
  ASSERT_NO_FATAL_FAILURE(run.Start({"ORVEX_UNLOAD_RUNTIME=1"},
                                    {"env", "env", "free", "maps", "connect", "free", "maps", "connect"}));
  const auto lines = run.result.Lines();
  EXPECT_EQ(CountLines(run.result, "@env 0"), 2) << run.result.output;
  EXPECT_EQ(CountLines(run.result, "Loading runtime library from driver path: " + (dir / kRuntimeName).string()), 1);
  EXPECT_EQ(Mapped(run.result, 0), Loaded());
  EXPECT_EQ(Mapped(run.result, 1), CompanionOnly());
  EXPECT_EQ(CountLines(run.result, "Driver.UnloadRuntime()"), 1);
  EXPECT_EQ(CountLines(run.result, "@connect 0"), 1);
  EXPECT_EQ(CountLines(run.result, "@connect -1"), 1);
  EXPECT_TRUE(InOrder(lines, {"@free 0", "@maps begin", "Driver.UnloadRuntime()", "@free 0", "@maps begin"}));
  EXPECT_EQ(CallNames(ReadCalls(run.calls)),
            (std::vector<std::string>{"SQLAllocHandle", "SQLAllocHandle", "SQLFreeHandle", "SQLConnect",
                                      "SQLFreeHandle"}));
}

// Only the exact value "1" unloads; anything else keeps the runtime, and the
// next first environment reuses it without searching again.
TEST(LifecycleUnload, LastEnvironmentUnloadsOnlyWhenAskedExactly) {
  struct Case {
    const char* setting;  // null: variable absent
    bool unloads;
  };
  const Case cases[] = {{nullptr, false}, {"1 ", false}, {"true", false}, {"0", false}, {"1", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting != nullptr ? c.setting : "(unset)");
    HostRun one;
    const fs::path folder = one.driver.parent_path();
    PutRuntime(folder);
    std::vector<std::string> env;
    if (c.setting != nullptr) env.push_back(std::string("ORVEX_UNLOAD_RUNTIME=") + c.setting);
    ASSERT_NO_FATAL_FAILURE(one.Start(env, {"env", "free", "maps", "connect", "env", "maps"}));

    const auto loaded = Expected({folder / kCompatName, folder / kRuntimeName});
    EXPECT_EQ(Mapped(one.result, 0), c.unloads ? Expected({folder / kCompatName}) : loaded);
    EXPECT_EQ(HasLine(one.result, kIgnored), !c.unloads);
    EXPECT_TRUE(HasLine(one.result, "@connect -1")) << "entries must be cleared after the last free";
    EXPECT_EQ(CountLines(one.result, "@env 0"), 2);
    EXPECT_EQ(CountLinesStarting(one.result, "Loading runtime library from"), c.unloads ? 6 : 3);
    EXPECT_EQ(Mapped(one.result, 1), loaded);
  }
}

TEST_F(Lifecycle, FailedFirstAllocationClearsAndUnloads) {
  ASSERT_NO_FATAL_FAILURE(
      run.Start({"ORVEX_UNLOAD_RUNTIME=1", "ORVEX_STANDIN_RC=SQLAllocHandle=-2"}, {"env", "connect", "maps"}));
  EXPECT_TRUE(HasLine(run.result, "@env -2")) << run.result.output;
  EXPECT_TRUE(HasLine(run.result, "@connect -1"));
  EXPECT_TRUE(HasLine(run.result, "Driver.UnloadRuntime()"));
  EXPECT_EQ(Mapped(run.result), CompanionOnly());
}

TEST_F(Lifecycle, FailedFirstAllocationKeepsTheRuntimeWithoutUnload) {
  ASSERT_NO_FATAL_FAILURE(run.Start({"ORVEX_STANDIN_RC=SQLAllocHandle=-1"}, {"env", "connect", "maps"}));
  EXPECT_TRUE(HasLine(run.result, "@env -1")) << run.result.output;
  EXPECT_TRUE(HasLine(run.result, "@connect -1"));
  EXPECT_TRUE(HasLine(run.result, kIgnored));
  EXPECT_EQ(Mapped(run.result), Loaded());
}

// A free the runtime refuses leaves the count, so the runtime stays bound.
TEST_F(Lifecycle, FailedFreeKeepsTheCount) {
  ASSERT_NO_FATAL_FAILURE(
      run.Start({"ORVEX_UNLOAD_RUNTIME=1", "ORVEX_STANDIN_RC=SQLFreeHandle=-1"}, {"env", "free", "connect", "maps"}));
  EXPECT_TRUE(HasLine(run.result, "@free -1")) << run.result.output;
  EXPECT_TRUE(HasLine(run.result, "@connect 0"));
  EXPECT_FALSE(HasLine(run.result, "Driver.UnloadRuntime()"));
  EXPECT_EQ(Mapped(run.result), Loaded());
}

TEST_F(Lifecycle, Odbc2AllocationAndFreeingAreCountedToo) {
  ASSERT_NO_FATAL_FAILURE(run.Start({"ORVEX_UNLOAD_RUNTIME=1"}, {"allocenv", "maps", "freeenv", "maps"}));
  EXPECT_TRUE(HasLine(run.result, "@env 0")) << run.result.output;
  EXPECT_TRUE(HasLine(run.result, "SQLAllocEnv"));
  EXPECT_EQ(Mapped(run.result, 0), Loaded());
  EXPECT_EQ(Mapped(run.result, 1), CompanionOnly());
  const auto calls = ReadCalls(run.calls);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, "SQLAllocHandle");
  EXPECT_EQ(calls[0].args.at(0), 1u);
  EXPECT_EQ(calls[1].name, "SQLFreeHandle");
  EXPECT_EQ(calls[1].args.at(0), 1u);
  EXPECT_EQ(calls[1].args.size(), 2u);
}

// Missing entries are reported once per binding and answer -1 without a call.
TEST(LifecyclePartial, MissingEntriesAreLoggedAndRefused) {
  HostRun run;
  PutRuntime(run.driver.parent_path(), true, PartialStandinDir());
  ASSERT_NO_FATAL_FAILURE(run.Start({}, {"env", "connect", "allocenv"}));
  EXPECT_TRUE(HasLine(run.result, "@connect -1")) << run.result.output;
  for (const char* name : {"SQLAllocConnect", "SQLConnect", "SQLExecDirectW"}) {
    EXPECT_EQ(CountLines(run.result, std::string("Unable to get the '") + name + "' API in Runtime"), 1) << name;
  }
  EXPECT_EQ(CountLinesStarting(run.result, "Unable to get the '"), 3);
  EXPECT_EQ(CallNames(ReadCalls(run.calls)), (std::vector<std::string>{"SQLAllocHandle", "SQLAllocHandle"}));
}

}  // namespace
}  // namespace drivertest
