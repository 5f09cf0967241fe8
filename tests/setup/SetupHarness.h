#pragma once
// Runs driver-setup in a throwaway driver-manager configuration and reads
// back what the installers wrote.
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "TestProcess.h"

namespace setuptest {

// Which real installer libraries the tool may find; the others are hidden
// behind incomplete stand-ins earlier on LD_LIBRARY_PATH.
enum class Managers { Both, UnixOdbc, Iodbc, Neither };

struct RunResult {
  int exitCode = -1;
  std::string out;
};

// Section name to its entries, in file order.
using IniFile = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

IniFile ParseIni(const std::string& text);
std::string ReadText(const std::filesystem::path& file);

class Sandbox {
 public:
  explicit Sandbox(Managers managers);
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Puts a stand-in installer under the given file name.
  void PlaceStandIn(const std::string& fileName, bool complete) const;

  RunResult Setup(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) const;
  RunResult Run(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& env = {}) const;

  // unixODBC's drivers and system data sources, iODBC's system ones, the
  // user data sources both share (ODBCINI), and the stand-ins' call log.
  std::filesystem::path UnixDrivers() const { return dir_ / "u" / "odbcinst.ini"; }
  std::filesystem::path UnixSystemDsns() const { return dir_ / "u" / "odbc.ini"; }
  std::filesystem::path IodbcDrivers() const { return dir_ / "i" / "odbcinst.ini"; }
  std::filesystem::path IodbcSystemDsns() const { return dir_ / "i" / "odbc.ini"; }
  std::filesystem::path UserDsns() const { return dir_ / "user-odbc.ini"; }
  std::filesystem::path Log() const { return dir_ / "standin.log"; }

  IniFile Ini(const std::filesystem::path& file) const { return ParseIni(ReadText(file)); }

  // Every configuration file with its content and modification time.
  std::map<std::string, std::string> Snapshot() const;

 private:
  testsupport::ScratchDir scratch_;
  std::filesystem::path dir_;
};

}  // namespace setuptest
