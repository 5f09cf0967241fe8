// The log switch: read once at load, on for any non-empty value.
#include <gtest/gtest.h>

#include "DriverTestKit.h"

namespace drivertest {
namespace {

// Lines the host did not write come from the driver.
int DriverLines(const ProcessResult& result) {
  int count = 0;
  for (const std::string& line : result.Lines()) count += !line.empty() && line[0] != '@';
  return count;
}

TEST(Logging, SwitchIsReadOnceAtLoad) {
  struct Case {
    const char* name;
    const char* setting;  // null: variable absent at start
    const char* later;    // step that changes the variable after load
    bool logs;
  };
  const Case cases[] = {
      {"unset", nullptr, "set:ENABLE_ORVEX_LOG=1", false},
      {"empty", "", "set:ENABLE_ORVEX_LOG=1", false},
      {"zero", "0", "unset:ENABLE_ORVEX_LOG", true},
      {"word", "yes", "set:ENABLE_ORVEX_LOG=", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir scratch;
    fs::path driver = CopyInto(DriverFile(), scratch.Sub("driver"));
    PutRuntime(driver.parent_path());
    std::vector<std::string> env{"ORVEX_UNLOAD_RUNTIME=1"};
    if (c.setting != nullptr) env.push_back(std::string("ENABLE_ORVEX_LOG=") + c.setting);
    ProcessResult result = RunHost(driver, {c.later, "env", "connect", "free"}, env);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    ASSERT_TRUE(HasLine(result, "@env 0")) << result.output;

    if (!c.logs) {
      EXPECT_EQ(DriverLines(result), 0) << result.output;
      EXPECT_EQ(CountLinesStarting(result, "@syslog"), 0);
      continue;
    }
    // Each line goes to the system log at priority 14 (user, info), then to standard output.
    const auto lines = result.Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].empty() || lines[i][0] == '@') continue;
      ASSERT_GT(i, 0u);
      EXPECT_EQ(lines[i - 1], "@syslog 14 " + lines[i]);
    }
    EXPECT_EQ(CountLinesStarting(result, "@syslog"), DriverLines(result));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Driver.g_init()");
    EXPECT_EQ(lines.back(), "Driver.g_fini()");
    EXPECT_TRUE(InOrder(lines, {"SQLAllocHandle", "Driver.LoadRuntime()",
                                "Current driver path: " + driver.string(), "@env 0", "SQLConnect", "@connect 0",
                                "SQLFreeHandle", "Driver.UnloadRuntime()", "@free 0"}))
        << result.output;
  }
}

}  // namespace
}  // namespace drivertest
