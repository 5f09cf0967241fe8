#include "SetupHarness.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "TestProcess.h"

extern char** environ;

namespace setuptest {
namespace fs = std::filesystem;

namespace {

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Variables this harness sets itself; inherited values must not leak in.
bool Replaced(const std::string& entry) {
  static const char* const kNames[] = {"ODBCSYSINI", "ODBCINI", "ODBCINSTINI", "SYSODBCINI", "SYSODBCINSTINI",
                                       "HOME", "LD_LIBRARY_PATH", "ASAN_OPTIONS", "STANDIN_"};
  for (const char* name : kNames) {
    std::string prefix = name;
    if (prefix.back() != '_') prefix += '=';
    if (entry.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

std::vector<std::string> ChildEnvironment(const fs::path& dir, const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!Replaced(*entry)) env.push_back(*entry);
  }
  // The installer libraries keep allocations past their unloading at exit.
  const char* asan = std::getenv("ASAN_OPTIONS");
  env.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr && *asan != '\0' ? std::string(asan) + ":" : "") +
                "detect_leaks=0");
  env.push_back("LD_LIBRARY_PATH=" + (dir / "lib").string());
  env.push_back("HOME=" + (dir / "home").string());
  // unixODBC: driver list and system data sources in one folder.
  env.push_back("ODBCSYSINI=" + (dir / "u").string());
  // Both managers read the user data sources from ODBCINI.
  env.push_back("ODBCINI=" + (dir / "user-odbc.ini").string());
  // iODBC's system files; its user driver list falls back to $HOME.
  env.push_back("SYSODBCINI=" + (dir / "i" / "odbc.ini").string());
  env.push_back("SYSODBCINSTINI=" + (dir / "i" / "odbcinst.ini").string());
  env.push_back("STANDIN_LOG=" + (dir / "standin.log").string());
  for (const std::string& entry : extra) env.push_back(entry);
  return env;
}

}  // namespace

IniFile ParseIni(const std::string& text) {
  IniFile ini;
  std::istringstream lines(text);
  std::string line;
  std::string section;
  while (std::getline(lines, line)) {
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      section = trimmed.substr(1, trimmed.size() - 2);
      ini[section];
      continue;
    }
    size_t equals = trimmed.find('=');
    if (equals == std::string::npos) continue;
    ini[section].emplace_back(Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1)));
  }
  return ini;
}

std::string ReadText(const fs::path& file) { return testsupport::ReadFileText(file); }

Sandbox::Sandbox(Managers managers) : scratch_("driver-setup"), dir_(scratch_.path()) {
  for (const char* sub : {"u", "i", "home", "lib"}) fs::create_directories(dir_ / sub);
  bool hideUnix = managers == Managers::Iodbc || managers == Managers::Neither;
  bool hideIodbc = managers == Managers::UnixOdbc || managers == Managers::Neither;
  if (hideUnix) {
    PlaceStandIn("libodbcinst.so.2", false);
    PlaceStandIn("libodbcinst.so", false);
  }
  if (hideIodbc) {
    PlaceStandIn("libiodbcinst.so.2", false);
    PlaceStandIn("libiodbcinst.so", false);
  }
}

void Sandbox::PlaceStandIn(const std::string& fileName, bool complete) const {
  fs::copy_file(complete ? STANDIN_FULL_PATH : STANDIN_INCOMPLETE_PATH, dir_ / "lib" / fileName,
                fs::copy_options::overwrite_existing);
}

RunResult Sandbox::Setup(const std::vector<std::string>& args, const std::vector<std::string>& env) const {
  return Run(DRIVER_SETUP_PATH, args, env);
}

RunResult Sandbox::Run(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env) const {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  const testsupport::ChildRun run = testsupport::RunChild(argv, ChildEnvironment(dir_, env), dir_.string());
  if (!run.started) throw std::runtime_error("pipe or fork failed");
  RunResult result;
  result.out = run.output;
  result.exitCode = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : 128 + WTERMSIG(run.status);
  return result;
}

std::map<std::string, std::string> Sandbox::Snapshot() const {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir_)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".ini") continue;
    struct stat info {};
    stat(entry.path().c_str(), &info);
    files[entry.path().string()] = ReadText(entry.path()) + "\nmtime " + std::to_string(info.st_mtim.tv_sec) + "." +
                                   std::to_string(info.st_mtim.tv_nsec);
  }
  return files;
}

}  // namespace setuptest
