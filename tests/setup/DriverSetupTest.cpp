#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "SetupHarness.h"
#include "TestSupport.h"

namespace {

using setuptest::IniFile;
using setuptest::Managers;
using setuptest::Sandbox;
using Entries = std::vector<std::pair<std::string, std::string>>;

const std::string kDriver = "Orvex ODBC Driver for SharePoint";
const std::string kSystemDsn = "Orvex SharePoint Sys";
const std::string kUserDsn = "Orvex SharePoint Source";
const std::string kInstallPath = "/opt/orvex";
const std::string kLibrary = "/opt/orvex/lib/libsarnvale.x64.so";
const std::string kNoManager = "\nError:\nCannot find the 64bit iODBC or unixODBC Driver Manager installed on this machine.\n";
const Entries kRequiredPairs = {{"Azure Tenant", ""}, {"Password", ""},
                                {"Schema", "SOAP"}, {"Share Point Edition", "SharePoint OnPremise"},
                                {"URL", ""},        {"User", ""}};
constexpr const char* kOdbcinst = "/usr/bin/odbcinst";

bool HasUnix(Managers m) { return m == Managers::Both || m == Managers::UnixOdbc; }
bool HasIodbc(Managers m) { return m == Managers::Both || m == Managers::Iodbc; }

const char* Name(Managers m) {
  switch (m) {
    case Managers::Both: return "both managers";
    case Managers::UnixOdbc: return "unixODBC only";
    case Managers::Iodbc: return "iODBC only";
    case Managers::Neither: return "no manager";
  }
  return "?";
}

const std::vector<Managers> kPresentManagers = {Managers::UnixOdbc, Managers::Iodbc, Managers::Both};

std::string Value(const IniFile& ini, const std::string& section, const std::string& key) {
  auto found = ini.find(section);
  if (found == ini.end()) return "<no section>";
  for (const auto& [k, v] : found->second) {
    if (k == key) return v;
  }
  return "<no key>";
}

bool HasSection(const IniFile& ini, const std::string& section) { return ini.count(section) != 0; }

// The section's entries without its "Driver" line.
Entries WithoutDriver(const IniFile& ini, const std::string& section) {
  Entries entries;
  auto found = ini.find(section);
  if (found == ini.end()) return entries;
  for (const auto& entry : found->second) {
    if (entry.first != "Driver") entries.push_back(entry);
  }
  return entries;
}

std::string Query(const Sandbox& box, const char* what) { return box.Run(kOdbcinst, {"-q", what}).out; }

bool Lists(const std::string& listing, const std::string& name) {
  return listing.find("[" + name + "]") != std::string::npos;
}

void ExpectQuiet(const setuptest::RunResult& result) {
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, "");
}

bool Loadable(const char* library) {
  void* handle = dlopen(library, RTLD_NOW);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

class DriverSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_OR_SKIP(std::filesystem::exists(kOdbcinst), "odbcinst (unixODBC) is not installed");
    REQUIRE_OR_SKIP(Loadable("libodbcinst.so.2"), "unixODBC's installer library is not installed");
    REQUIRE_OR_SKIP(Loadable("libiodbcinst.so.2"), "iODBC's installer library is not installed");
  }
};

TEST_F(DriverSetup, CommandLineErrorsAndIgnoredForms) {
  const std::string count = "\nError:\nInvalid parameter count for the option '";
  const std::string value = "\nError:\nInvalid parameter value for the option '";
  const std::string longPath(910, 'p');
  struct Case {
    std::vector<std::string> args;
    std::string out;
    int exitCode;
  };
  const std::vector<Case> cases = {
      {{"-i"}, count + "-i', it expects 1 parameters.\n", 255},
      {{"-u"}, count + "-u', it expects 1 parameters.\n", 255},
      {{"-m"}, count + "-m', it expects 1 parameters.\n", 255},
      {{"-i", "-d"}, count + "-i -d', it expects 1 parameters.\n", 255},
      {{"-m", "-d"}, count + "-m -d', it expects 2 parameters.\n", 255},
      {{"-m", "-d", "Key"}, count + "-m -d', it expects 2 parameters.\n", 255},
      {{"-m", "-s", "URL"}, count + "-m -s', it expects 2 parameters.\n", 255},
      {{"-i", "-x"}, value + "-i', it expects '\"-d\", \"-s\"'.\n", 255},
      {{"-u", "-D"}, value + "-u', it expects '\"-d\", \"-s\"'.\n", 255},
      {{"-m", "s", "Key", "Value"}, value + "-m', it expects '\"-d\", \"-s\"'.\n", 255},
      {{"-i", "-d", longPath}, "\nError:\nParameter 'install_path' is too long, it allows at most 909 characters.\n", 255},
      {{"-i", "-d", ""}, "\nError:\nParameter 'install_path' need to be specified.\n", 0},
      {{}, "", 0},
      {{"-x"}, "", 0},
      {{"-I", "-d", "/opt"}, "", 0},
      {{"--help"}, "", 0},
  };
  for (const Case& c : cases) {
    Sandbox box(Managers::Neither);
    std::string line;
    for (const std::string& arg : c.args) line += "'" + arg.substr(0, 20) + "' ";
    SCOPED_TRACE(line);
    setuptest::RunResult result = box.Setup(c.args);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.exitCode, c.exitCode);
    // Nothing may be loaded before the command line is accepted.
    EXPECT_FALSE(std::filesystem::exists(box.Log()));
  }
}

TEST_F(DriverSetup, NoManagerFoundForEveryOperation) {
  const std::vector<std::vector<std::string>> commands = {
      {"-i", "-d", "/opt/orvex"}, {"-i", "-s"}, {"-u", "-d"}, {"-u", "-s"},
      {"-m", "-d", "Key", "Value"}, {"-m", "-s", "URL", "x"}, {"-p"}};
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0] + " " + args[1 % args.size()]);
    Sandbox box(Managers::Neither);
    setuptest::RunResult result = box.Setup(args);
    EXPECT_EQ(result.out, kNoManager);
    EXPECT_EQ(result.exitCode, 0);
    // Each installer name was opened once, and found incomplete.
    std::string log = setuptest::ReadText(box.Log());
    EXPECT_EQ(log,
              "libiodbcinst.so.2 loaded\nlibiodbcinst.so loaded\nlibodbcinst.so.2 loaded\nlibodbcinst.so loaded\n");
  }
}

TEST_F(DriverSetup, InstallDriverRegistersWithEachManager) {
  for (Managers managers : kPresentManagers) {
    SCOPED_TRACE(Name(managers));
    Sandbox box(managers);
    ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
    if (HasUnix(managers)) {
      EXPECT_TRUE(Lists(Query(box, "-d"), kDriver));
      IniFile drivers = box.Ini(box.UnixDrivers());
      EXPECT_EQ(drivers[kDriver], (Entries{{"Description", "Orvex ODBC Driver for SharePoint 2020"},
                                           {"Driver", kLibrary},
                                           {"UsageCount", "1"},
                                           {"Driver64", kLibrary}}));
    } else {
      EXPECT_FALSE(std::filesystem::exists(box.UnixDrivers()));
    }
    if (HasIodbc(managers)) {
      IniFile drivers = box.Ini(box.IodbcDrivers());
      EXPECT_EQ(Value(drivers, "ODBC Drivers", kDriver), "Installed");
      EXPECT_EQ(drivers[kDriver],
                (Entries{{"Description", "Orvex ODBC Driver for SharePoint 2020"}, {"Driver", kLibrary}}));
    } else {
      EXPECT_FALSE(HasSection(box.Ini(box.IodbcDrivers()), kDriver));
    }
  }
}

TEST_F(DriverSetup, UninstallDriverFollowsUsageCountsAndKeepsDataSources) {
  Sandbox box(Managers::Both);
  ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
  ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
  EXPECT_EQ(Value(box.Ini(box.UnixDrivers()), kDriver, "UsageCount"), "2");
  ExpectQuiet(box.Setup({"-i", "-s"}));

  // unixODBC counts installs down; iODBC keeps no count and removes at once.
  ExpectQuiet(box.Setup({"-u", "-d"}));
  EXPECT_EQ(Value(box.Ini(box.UnixDrivers()), kDriver, "UsageCount"), "1");
  EXPECT_TRUE(Lists(Query(box, "-d"), kDriver));
  IniFile iodbcDrivers = box.Ini(box.IodbcDrivers());
  EXPECT_FALSE(HasSection(iodbcDrivers, kDriver));
  EXPECT_EQ(Value(iodbcDrivers, "ODBC Drivers", kDriver), "<no key>");

  ExpectQuiet(box.Setup({"-u", "-d"}));
  EXPECT_FALSE(HasSection(box.Ini(box.UnixDrivers()), kDriver));
  EXPECT_FALSE(Lists(Query(box, "-d"), kDriver));

  std::string sources = Query(box, "-s");
  EXPECT_TRUE(Lists(sources, kSystemDsn));
  EXPECT_TRUE(Lists(sources, kUserDsn));
  EXPECT_TRUE(HasSection(box.Ini(box.IodbcSystemDsns()), kSystemDsn));
}

TEST_F(DriverSetup, InstallDsnCreatesBothDataSourcesOnceAndKeepsThem) {
  for (Managers managers : kPresentManagers) {
    SCOPED_TRACE(Name(managers));
    Sandbox box(managers);
    ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
    ExpectQuiet(box.Setup({"-i", "-s"}));

    // The user data sources file is shared; iODBC, when present, writes it.
    IniFile user = box.Ini(box.UserDsns());
    EXPECT_EQ(WithoutDriver(user, kUserDsn), kRequiredPairs);
    if (HasIodbc(managers)) {
      IniFile system = box.Ini(box.IodbcSystemDsns());
      EXPECT_EQ(WithoutDriver(system, kSystemDsn), kRequiredPairs);
      EXPECT_EQ(Value(system, kSystemDsn, "Driver"), kLibrary);
      EXPECT_EQ(Value(system, "ODBC Data Sources", kSystemDsn), kDriver);
      EXPECT_EQ(Value(user, "ODBC Data Sources", kUserDsn), kDriver);
    } else {
      EXPECT_EQ(Value(user, kUserDsn, "Driver"), kDriver);
    }
    if (HasUnix(managers)) {
      IniFile system = box.Ini(box.UnixSystemDsns());
      EXPECT_EQ(WithoutDriver(system, kSystemDsn), kRequiredPairs);
      EXPECT_EQ(Value(system, kSystemDsn, "Driver"), kDriver);
      std::string sources = Query(box, "-s");
      EXPECT_TRUE(Lists(sources, kSystemDsn));
      EXPECT_TRUE(Lists(sources, kUserDsn));
    }

    // Values set since survive a second run, which writes nothing at all.
    ExpectQuiet(box.Setup({"-m", "-s", "URL", "https://intra.example/sites/a"}));
    auto before = box.Snapshot();
    ExpectQuiet(box.Setup({"-i", "-s"}));
    EXPECT_EQ(box.Snapshot(), before);
    EXPECT_EQ(Value(box.Ini(box.UserDsns()), kUserDsn, "URL"), "https://intra.example/sites/a");
  }
}

TEST_F(DriverSetup, InstallDsnRecreatesADataSourceListedWithAnEmptyValue) {
  for (Managers managers : {Managers::UnixOdbc, Managers::Iodbc}) {
    SCOPED_TRACE(Name(managers));
    Sandbox box(managers);
    auto system = HasUnix(managers) ? box.UnixSystemDsns() : box.IodbcSystemDsns();
    std::ofstream(system) << "[ODBC Data Sources]\n" << kSystemDsn << " =\n";
    ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
    ExpectQuiet(box.Setup({"-i", "-s"}));
    EXPECT_EQ(WithoutDriver(box.Ini(system), kSystemDsn), kRequiredPairs);
  }
}

TEST_F(DriverSetup, ModifyWritesDriverKeyAndBothDataSources) {
  Sandbox box(Managers::Both);
  ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
  ExpectQuiet(box.Setup({"-m", "-d", "Setup", "/opt/orvex/lib/setup.so"}));
  EXPECT_EQ(Value(box.Ini(box.UnixDrivers()), kDriver, "Setup"), "/opt/orvex/lib/setup.so");
  EXPECT_EQ(Value(box.Ini(box.IodbcDrivers()), kDriver, "Setup"), "/opt/orvex/lib/setup.so");

  // Without -i -s first the installers create the sections, except that
  // unixODBC will not create its system file: that write alone is reported
  // and the others still happen.
  setuptest::RunResult first = box.Setup({"-m", "-s", "URL", "x"});
  EXPECT_EQ(first.exitCode, 0);
  EXPECT_EQ(first.out.rfind("\nError[", 0), 0u) << first.out;
  EXPECT_NE(first.out.find("]:\nModify DSN failed for unixODBC.\n"), std::string::npos) << first.out;
  EXPECT_EQ(first.out.find("Modify DSN failed", first.out.find("Modify DSN failed") + 1), std::string::npos);
  EXPECT_EQ(Value(box.Ini(box.IodbcSystemDsns()), kSystemDsn, "URL"), "x");
  EXPECT_EQ(Value(box.Ini(box.UserDsns()), kUserDsn, "URL"), "x");

  std::ofstream(box.UnixSystemDsns()).flush();
  ExpectQuiet(box.Setup({"-m", "-s", "URL", "y"}));
  EXPECT_EQ(Value(box.Ini(box.UnixSystemDsns()), kSystemDsn, "URL"), "y");
  EXPECT_EQ(Value(box.Ini(box.IodbcSystemDsns()), kSystemDsn, "URL"), "y");
  EXPECT_EQ(Value(box.Ini(box.UserDsns()), kUserDsn, "URL"), "y");
}

TEST_F(DriverSetup, UninstallDsnRemovesBothDataSources) {
  for (Managers managers : kPresentManagers) {
    SCOPED_TRACE(Name(managers));
    Sandbox box(managers);
    ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
    ExpectQuiet(box.Setup({"-i", "-s"}));
    ExpectQuiet(box.Setup({"-u", "-s"}));
    EXPECT_FALSE(HasSection(box.Ini(box.UserDsns()), kUserDsn));
    EXPECT_FALSE(HasSection(box.Ini(box.UnixSystemDsns()), kSystemDsn));
    EXPECT_FALSE(HasSection(box.Ini(box.IodbcSystemDsns()), kSystemDsn));
    EXPECT_EQ(Value(box.Ini(box.IodbcSystemDsns()), "ODBC Data Sources", kSystemDsn),
              HasIodbc(managers) ? "<no key>" : "<no section>");
    if (HasUnix(managers)) {
      std::string sources = Query(box, "-s");
      EXPECT_FALSE(Lists(sources, kSystemDsn));
      EXPECT_FALSE(Lists(sources, kUserDsn));
    }
    // The driver stays registered.
    EXPECT_TRUE(HasSection(box.Ini(HasUnix(managers) ? box.UnixDrivers() : box.IodbcDrivers()), kDriver));
  }
}

TEST_F(DriverSetup, UpgradeWritesNothing) {
  Sandbox box(Managers::Both);
  ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
  ExpectQuiet(box.Setup({"-i", "-s"}));
  auto before = box.Snapshot();
  ExpectQuiet(box.Setup({"-p"}));
  EXPECT_EQ(box.Snapshot(), before);
}

TEST_F(DriverSetup, UpgradeMovesDataSourcesOffAnOlderDriver) {
  Sandbox box(Managers::UnixOdbc);
  std::ofstream(box.UnixDrivers()) << "[Old Driver]\nDriver=/old/lib/libold.so\n";
  ExpectQuiet(box.Setup({"-i", "-d", kInstallPath}));
  std::ofstream(box.UnixSystemDsns()) << "[ByPath]\nDriver=/old/lib/libold.so\nURL=a\n\n"
                                      << "[ByName]\nDriver=Old Driver\n\n"
                                      << "[Other]\nDriver=/other/lib.so\n";
  std::ofstream(box.UserDsns()) << "[Mine]\nDriver=/old/lib/libold.so\n";

  ExpectQuiet(box.Run(UPGRADE_PROBE_PATH, {"1", "Old Driver"}));
  IniFile system = box.Ini(box.UnixSystemDsns());
  EXPECT_EQ(system["ByPath"], (Entries{{"Driver", kLibrary}, {"URL", "a"}}));
  EXPECT_EQ(Value(system, "ByName", "Driver"), kDriver);
  EXPECT_EQ(Value(system, "Other", "Driver"), "/other/lib.so");
  EXPECT_EQ(Value(box.Ini(box.UserDsns()), "Mine", "Driver"), kLibrary);
  IniFile drivers = box.Ini(box.UnixDrivers());
  EXPECT_FALSE(HasSection(drivers, "Old Driver"));
  EXPECT_TRUE(HasSection(drivers, kDriver));

  // A manager number other than 0 or 1 names no installer.
  EXPECT_EQ(box.Run(UPGRADE_PROBE_PATH, {"2", "Old Driver"}).out, "no installer\n");
}

}  // namespace
