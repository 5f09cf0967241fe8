#pragma once
// Shared plumbing of the driver tests: scratch folders holding copies of the
// driver and the stand-in runtime, child processes with a chosen environment,
// and the stand-in's call record.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "TestProcess.h"

namespace drivertest {

namespace fs = std::filesystem;

fs::path DriverFile();          // the driver library as built
fs::path SharedPathDriverFile(); // the test copy whose shared runtime folder is SharedRuntimeDir()
fs::path SharedRuntimeDir();
fs::path StandinDir();          // runtime and companion
fs::path PartialStandinDir();   // a runtime lacking a few entries
fs::path HostProgram();

inline constexpr const char kDriverName[] = "libsarnvale.x64.so";
inline constexpr const char kRuntimeName[] = "liborvexrt.x64.so.6";
inline constexpr const char kCompatName[] = "liborvexrt-compat.x64.so.6";

// A folder under the temporary directory, removed with everything in it.
class ScratchDir : public testsupport::ScratchDir {
 public:
  ScratchDir() : testsupport::ScratchDir("sarnvale-test") {}
  fs::path Sub(const std::string& name) const;  // created on demand
};

// Copies `file` into `folder` (created if needed) and returns the copy's path.
fs::path CopyInto(const fs::path& file, const fs::path& folder);
void PutRuntime(const fs::path& folder, bool withCompanion = true, const fs::path& from = StandinDir());
void WriteFile(const fs::path& file, const std::string& text);
std::string ReadFile(const fs::path& file);

struct ProcessResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string output;  // standard output
  std::vector<std::string> Lines() const;
};

// Runs a program with the test's environment minus every variable the driver
// or the stand-in reads, plus `extraEnv` ("NAME=value" entries). Bounded in time.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv);
// The host program: loads `driver` and runs `steps` (see DriverHost.cpp).
ProcessResult RunHost(const fs::path& driver, const std::vector<std::string>& steps,
                      const std::vector<std::string>& extraEnv);

int CountLines(const ProcessResult& result, const std::string& line);
int CountLinesStarting(const ProcessResult& result, const std::string& prefix);
inline bool HasLine(const ProcessResult& result, const std::string& line) { return CountLines(result, line) > 0; }
// The runtime files the host listed at one of its "maps" steps (0 the first,
// -1 the last), sorted.
std::vector<std::string> Mapped(const ProcessResult& result, int listing = -1);
// Sorted paths, to compare with Mapped().
std::vector<std::string> Expected(std::initializer_list<fs::path> files);

// A host run over a fresh copy of a driver, logging on, with a call record.
struct HostRun {
  ScratchDir scratch;
  fs::path driver;  // the copy, alone in its folder
  fs::path calls;   // the stand-in's call record
  ProcessResult result;

  explicit HostRun(const fs::path& driverFile = DriverFile());
  // Fails the test when the host does not finish cleanly.
  void Start(std::vector<std::string> env, const std::vector<std::string>& steps = {"env", "maps"});
};

// One line of the stand-in's call record.
struct RuntimeCall {
  std::string name;  // ODBC name without the prefix
  std::string driverPath;
  std::vector<uint64_t> args;
};
std::vector<RuntimeCall> ReadCalls(const fs::path& logFile);
std::vector<std::string> CallNames(const std::vector<RuntimeCall>& calls);

// True when `wanted` appears in `seen` in this order (other items may come between);
// an entry "A|B" accepts either name.
bool InOrder(const std::vector<std::string>& seen, const std::vector<std::string>& wanted);

// Files of the stand-in runtime mapped into this process.
std::vector<std::string> MappedRuntimeFiles();

}  // namespace drivertest
