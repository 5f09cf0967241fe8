// How the tool picks and drives an installer library, seen through stand-in
// installers that record their calls.
#include <string>
#include <vector>

#include "SetupHarness.h"
#include "TestSupport.h"

namespace {

using setuptest::Managers;
using setuptest::Sandbox;

// The stand-in's log lines for one library, "loaded" lines left out.
std::vector<std::string> Calls(const Sandbox& box, const std::string& library) {
  std::vector<std::string> calls;
  std::string log = setuptest::ReadText(box.Log());
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    std::string line = log.substr(start, end - start);
    start = end == std::string::npos ? log.size() : end + 1;
    if (line.rfind(library + " ", 0) != 0) continue;
    std::string call = line.substr(library.size() + 1);
    if (call != "loaded") calls.push_back(call);
  }
  return calls;
}

bool Loaded(const Sandbox& box, const std::string& library) {
  return setuptest::ReadText(box.Log()).find(library + " loaded\n") != std::string::npos;
}

// iODBC hidden; unixODBC served by a complete stand-in as libodbcinst.so.2.
void UseUnixStandIn(const Sandbox& box) {
  box.PlaceStandIn("libodbcinst.so.2", true);
  box.PlaceStandIn("libodbcinst.so", false);
}

TEST(InstallerBinding, IncompleteFirstNameFallsBackToSecond) {
  Sandbox box(Managers::Neither);
  box.PlaceStandIn("libodbcinst.so", true);
  EXPECT_EQ(box.Setup({"-m", "-d", "Key", "Value"}).out, "");
  EXPECT_TRUE(Calls(box, "libodbcinst.so.2").empty());
  EXPECT_EQ(Calls(box, "libodbcinst.so"),
            (std::vector<std::string>{"SQLGetConfigMode", "SQLSetConfigMode 2", "SQLSetConfigMode 2",
                                      "SQLWritePrivateProfileString [Orvex ODBC Driver for SharePoint] [Key] "
                                      "[Value] [ODBCINST.INI]",
                                      "SQLSetConfigMode 0"}));
}

TEST(InstallerBinding, FirstCompleteNameIsTheOnlyOneOpened) {
  Sandbox box(Managers::Neither);
  box.PlaceStandIn("libodbcinst.so.2", true);
  box.PlaceStandIn("libodbcinst.so", true);
  EXPECT_EQ(box.Setup({"-u", "-d"}).out, "");
  EXPECT_TRUE(Loaded(box, "libodbcinst.so.2"));
  EXPECT_FALSE(Loaded(box, "libodbcinst.so"));
}

TEST(InstallerBinding, EveryCallRunsInTheModeSetAndTheModeIsRestored) {
  Sandbox box(Managers::Neither);
  UseUnixStandIn(box);
  EXPECT_EQ(box.Setup({"-u", "-s"}).out, "");
  EXPECT_EQ(Calls(box, "libodbcinst.so.2"),
            (std::vector<std::string>{"SQLGetConfigMode", "SQLSetConfigMode 2", "SQLSetConfigMode 2",
                                      "SQLRemoveDSNFromIni [Orvex SharePoint Sys]", "SQLSetConfigMode 1",
                                      "SQLSetConfigMode 1", "SQLRemoveDSNFromIni [Orvex SharePoint Source]",
                                      "SQLSetConfigMode 0"}));
}

TEST(InstallerBinding, FailuresAreReportedAndTheOperationGoesOn) {
  const std::string installFailed = "\nError[11]:\nInstall driver failed for unixODBC.\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string out;
    std::vector<std::string> calls;  // expected subsequence of the installer's calls
  };
  const std::vector<Case> cases = {
      {"a mode that cannot be set skips the call",
       {"-u", "-s"},
       {"STANDIN_FAIL=SQLSetConfigMode"},
       "\nError[11]:\nUninstall DSN failed for unixODBC.\nSQLSetConfigMode failed\n"
       "\nError[11]:\nUninstall DSN failed for unixODBC.\nSQLSetConfigMode failed\n",
       {}},
      {"no stale message when the installer has none",
       {"-i", "-d", "/opt/orvex"},
       {"STANDIN_FAIL=SQLInstallDriverEx,SQLWritePrivateProfileString", "STANDIN_SILENT=SQLWritePrivateProfileString"},
       installFailed + "SQLInstallDriverEx failed\n" + "\nError[0]:\nInstall driver failed for unixODBC.\n\n",
       {"SQLInstallDriverEx [Orvex ODBC Driver for SharePoint|Description=Orvex ODBC Driver for SharePoint "
        "2020|Driver=/opt/orvex/lib/libsarnvale.x64.so]",
        "SQLWritePrivateProfileString [Orvex ODBC Driver for SharePoint] [Driver64] "
        "[/opt/orvex/lib/libsarnvale.x64.so] [ODBCINST.INI]"}},
      {"an overlong installer message is cut to 1023 characters",
       {"-u", "-d"},
       {"STANDIN_FAIL=SQLRemoveDriver", "STANDIN_LONG_ERROR=1"},
       "\nError[11]:\nUninstall driver failed for unixODBC.\n" + std::string(1023, 'x') + "\n",
       {"SQLRemoveDriver [Orvex ODBC Driver for SharePoint] 0"}},
      {"the pairs are written after a failed data source write",
       {"-i", "-s"},
       {"STANDIN_FAIL=SQLWriteDSNToIni"},
       "\nError[11]:\nInstall DSN failed for unixODBC.\nSQLWriteDSNToIni failed\n"
       "\nError[11]:\nInstall DSN failed for unixODBC.\nSQLWriteDSNToIni failed\n",
       {"SQLWriteDSNToIni [Orvex SharePoint Sys] [Orvex ODBC Driver for SharePoint]",
        "SQLWritePrivateProfileString [Orvex SharePoint Sys] [Azure Tenant] [] [ODBC.INI]",
        "SQLWritePrivateProfileString [Orvex SharePoint Sys] [User] [] [ODBC.INI]",
        "SQLWriteDSNToIni [Orvex SharePoint Source] [Orvex ODBC Driver for SharePoint]",
        "SQLWritePrivateProfileString [Orvex SharePoint Source] [Share Point Edition] [SharePoint OnPremise] "
        "[ODBC.INI]"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox box(Managers::Neither);
    UseUnixStandIn(box);
    setuptest::RunResult result = box.Setup(c.args, c.env);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, c.out);
    std::vector<std::string> calls = Calls(box, "libodbcinst.so.2");
    size_t at = 0;
    for (const std::string& expected : c.calls) {
      while (at < calls.size() && calls[at] != expected) ++at;
      EXPECT_LT(at, calls.size()) << "missing or out of order: " << expected;
    }
    if (c.args[0] == "-u" && c.args[1] == "-s" && !c.env.empty()) {
      for (const std::string& call : calls) EXPECT_EQ(call.find("SQLRemoveDSNFromIni"), std::string::npos);
    }
  }
}

}  // namespace
