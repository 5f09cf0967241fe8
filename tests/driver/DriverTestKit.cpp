#include "DriverTestKit.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "TestText.h"

extern char** environ;

namespace drivertest {

fs::path DriverFile() { return SARNVALE_DRIVER_FILE; }
fs::path SharedPathDriverFile() { return SARNVALE_SHARED_PATH_DRIVER_FILE; }
fs::path SharedRuntimeDir() { return SARNVALE_SHARED_RUNTIME_DIR_FOR_TESTS; }
fs::path StandinDir() { return STANDIN_DIR; }
fs::path PartialStandinDir() { return STANDIN_PARTIAL_DIR; }
fs::path HostProgram() { return DRIVER_HOST_PROGRAM; }

fs::path ScratchDir::Sub(const std::string& name) const {
  fs::path sub = path() / name;
  fs::create_directories(sub);
  return sub;
}

fs::path CopyInto(const fs::path& file, const fs::path& folder) {
  fs::create_directories(folder);
  fs::path copy = folder / file.filename();
  fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
  return copy;
}

void PutRuntime(const fs::path& folder, bool withCompanion, const fs::path& from) {
  CopyInto(from / kRuntimeName, folder);
  if (withCompanion) CopyInto(StandinDir() / kCompatName, folder);
}

void WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadFile(const fs::path& file) { return testsupport::ReadFileText(file); }

std::vector<std::string> ProcessResult::Lines() const { return testsupport::Lines(output); }

namespace {

bool IsControlledVariable(const std::string& entry) {
  static const char* const kNames[] = {"LD_LIBRARY_PATH",   "ENABLE_ORVEX_LOG",   "ORVEX_UNLOAD_RUNTIME",
                                       "ORVEX_STANDIN_LOG", "ORVEX_STANDIN_RC",   "ORVEX_STANDIN_PASSIVE"};
  for (const char* name : kNames) {
    const size_t length = strlen(name);
    if (entry.compare(0, length, name) == 0 && entry.size() > length && entry[length] == '=') return true;
  }
  return false;
}

}  // namespace

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!IsControlledVariable(*entry)) env.emplace_back(*entry);
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  const testsupport::ChildRun run = testsupport::RunChild(argv, env);
  if (!run.started) return {};
  ProcessResult result;
  result.output = run.output;
  result.exitCode = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
  return result;
}

ProcessResult RunHost(const fs::path& driver, const std::vector<std::string>& steps,
                      const std::vector<std::string>& extraEnv) {
  std::vector<std::string> argv{HostProgram().string(), driver.string()};
  argv.insert(argv.end(), steps.begin(), steps.end());
  return RunProgram(argv, extraEnv);
}

int CountLines(const ProcessResult& result, const std::string& line) {
  int count = 0;
  for (const std::string& seen : result.Lines()) count += seen == line;
  return count;
}

int CountLinesStarting(const ProcessResult& result, const std::string& prefix) {
  int count = 0;
  for (const std::string& seen : result.Lines()) count += seen.rfind(prefix, 0) == 0;
  return count;
}

std::vector<std::string> Mapped(const ProcessResult& result, int listing) {
  std::vector<std::vector<std::string>> listings;
  for (const std::string& line : result.Lines()) {
    if (line == "@maps begin") listings.emplace_back();
    if (line.rfind("@mapped ", 0) == 0 && !listings.empty()) listings.back().push_back(line.substr(8));
  }
  if (listing < 0) listing += static_cast<int>(listings.size());
  if (listing < 0 || listing >= static_cast<int>(listings.size())) return {"(no such listing)"};
  return listings[static_cast<size_t>(listing)];
}

std::vector<std::string> Expected(std::initializer_list<fs::path> files) {
  std::vector<std::string> paths;
  for (const fs::path& file : files) paths.push_back(file.string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

HostRun::HostRun(const fs::path& driverFile)
    : driver(CopyInto(driverFile, scratch.Sub("driver"))), calls(scratch.path() / "calls.log") {}

void HostRun::Start(std::vector<std::string> env, const std::vector<std::string>& steps) {
  env.push_back("ENABLE_ORVEX_LOG=1");
  env.push_back("ORVEX_STANDIN_LOG=" + calls.string());
  result = RunHost(driver, steps, env);
  ASSERT_EQ(result.exitCode, 0) << result.output;
}

std::vector<RuntimeCall> ReadCalls(const fs::path& logFile) {
  std::vector<RuntimeCall> calls;
  std::istringstream in(ReadFile(logFile));
  for (std::string line; std::getline(in, line);) {
    RuntimeCall call;
    size_t first = line.find('\t');
    size_t second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    call.name = line.substr(0, first);
    call.driverPath = line.substr(first + 1, second - first - 1);
    std::istringstream words(line.substr(second + 1));
    for (std::string word; words >> word;) call.args.push_back(std::stoull(word, nullptr, 16));
    calls.push_back(call);
  }
  return calls;
}

std::vector<std::string> CallNames(const std::vector<RuntimeCall>& calls) {
  std::vector<std::string> names;
  for (const RuntimeCall& call : calls) names.push_back(call.name);
  return names;
}

bool InOrder(const std::vector<std::string>& seen, const std::vector<std::string>& wanted) {
  size_t next = 0;
  for (const std::string& item : seen) {
    if (next == wanted.size()) break;
    std::istringstream choices(wanted[next]);
    for (std::string choice; std::getline(choices, choice, '|');) {
      if (choice == item) {
        ++next;
        break;
      }
    }
  }
  return next == wanted.size();
}

std::vector<std::string> MappedRuntimeFiles() {
  std::set<std::string> files;
  std::istringstream maps(ReadFile("/proc/self/maps"));
  for (std::string line; std::getline(maps, line);) {
    size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::string file = line.substr(slash);
    if (file.find("liborvexrt") != std::string::npos) files.insert(file);
  }
  return {files.begin(), files.end()};
}

}  // namespace drivertest
