// The driver module's text helpers and its probes, built straight into the test.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "Driver.h"
#include "DriverTestKit.h"
#include "TestSupport.h"

// unixODBC's installer library keeps its parsed configuration for the life of
// the process; that is not this library's memory.
extern "C" const char* __lsan_default_suppressions() { return "leak:libodbcinst.so\n"; }

namespace drivertest {
namespace {

using sarnvale::CopyBounded;
using sarnvale::InsertBounded;
using sarnvale::ReplaceFileName;

TEST(Helpers, ReplaceFileName) {
  struct Case {
    const char* path;
    const char* file;
    int capacity;
    const char* expected;
  };
  const Case cases[] = {
      {"/usr/lib/odbc/libsarnvale.x64.so", "liborvexrt.x64.so.6", 1024, "/usr/lib/odbc/liborvexrt.x64.so.6"},
      {"libsarnvale.x64.so", "liborvexrt.x64.so.6", 1024, "liborvexrt.x64.so.6"},
      {"/libsarnvale.x64.so", "liborvexrt.x64.so.6", 1024, "/liborvexrt.x64.so.6"},
      {"/opt/x/", "liborvexrt.x64.so.6", 1024, "/opt/x/liborvexrt.x64.so.6"},
      {"/opt/x/lib.so", nullptr, 1024, "/opt/x/"},
      {"", "liborvexrt.x64.so.6", 1024, "liborvexrt.x64.so.6"},
      {"/ab/cd.so", "longname.so", 12, "/ab/longnam"},  // 11 characters and the NUL
      {"/ab/cd.so", "x", 4, "/ab"},                        // no room left for any of the name
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    char buffer[64];
    memset(buffer, '#', sizeof buffer);
    strcpy(buffer, c.path);
    ASSERT_EQ(ReplaceFileName(buffer, c.file, c.capacity), 0);
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_LE(strlen(buffer), static_cast<size_t>(c.capacity - 1));
  }
  char buffer[8] = "/a/b";
  EXPECT_EQ(ReplaceFileName(nullptr, "x", 8), -1);
  EXPECT_EQ(ReplaceFileName(buffer, "x", -1), -1);
  EXPECT_STREQ(buffer, "/a/b");
}

TEST(Helpers, CopyBoundedAlwaysTerminates) {
  char buffer[8];
  memset(buffer, '#', sizeof buffer);
  CopyBounded(buffer, 5, "abcdefgh");
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(buffer[5], '#');
  CopyBounded(buffer, 8, "xy");
  EXPECT_STREQ(buffer, "xy");
  CopyBounded(buffer, 8, nullptr);
  EXPECT_STREQ(buffer, "");
  CopyBounded(buffer, 0, "zz");  // no room at all: untouched
  EXPECT_STREQ(buffer, "");
}

TEST(Helpers, InsertBounded) {
  struct Case {
    const char* start;
    int capacity;
    int position;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"hello world", 32, 5, ", big", "hello, big world"},
      {"hello", 32, 0, ">> ", ">> hello"},
      {"hello", 32, 5, "!", "hello!"},
      {"hello world", 10, 5, ", big", "hello, bi"},  // the text is cut to fit
      {"hello world", 12, 6, "X", "hello Xworl"},     // the tail is cut to fit
      {"hello", 32, 6, "X", "hello"},                 // past the end of the text
      {"hello", 32, -1, "X", "hello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    char buffer[32];
    memset(buffer, '#', sizeof buffer);
    strcpy(buffer, c.start);
    EXPECT_EQ(InsertBounded(buffer, c.capacity, c.position, c.text), 0);
    EXPECT_STREQ(buffer, c.expected);
    const bool changed = strcmp(c.start, c.expected) != 0;
    if (changed) {
      EXPECT_EQ(buffer[c.capacity - 1], '\0');
    }
  }
  EXPECT_EQ(InsertBounded(nullptr, 8, 0, "x"), 0);
  char buffer[8] = "abc";
  EXPECT_EQ(InsertBounded(buffer, 8, 0, nullptr), 0);
  EXPECT_EQ(InsertBounded(buffer, 0, 0, "x"), 0);
  EXPECT_STREQ(buffer, "abc");
}

TEST(Helpers, ProbeRuntimeVersion) {
  EXPECT_EQ(sarnvale::ProbeRuntimeVersion((StandinDir() / kRuntimeName).c_str()), 6);
  EXPECT_EQ(sarnvale::ProbeRuntimeVersion((StandinDir() / kCompatName).c_str()), -1);  // no version entry
  EXPECT_EQ(sarnvale::ProbeRuntimeVersion("/nonexistent/liborvexrt.x64.so.6"), -1);
  EXPECT_EQ(sarnvale::ProbeRuntimeVersion(nullptr), -1);
}

TEST(Helpers, ProbeCoreName) {
  char name[64] = "stale";
  EXPECT_EQ(sarnvale::ProbeCoreName(DriverFile().c_str(), name, sizeof name), 0);
  EXPECT_STREQ(name, "Orvex.ODBCm.SharePoint");
  char small[6] = "stale";
  sarnvale::ProbeCoreName(DriverFile().c_str(), small, sizeof small);
  EXPECT_STREQ(small, "Orvex");
  sarnvale::ProbeCoreName((StandinDir() / kCompatName).c_str(), name, sizeof name);
  EXPECT_STREQ(name, "");
  strcpy(name, "stale");
  sarnvale::ProbeCoreName(nullptr, name, sizeof name);
  EXPECT_STREQ(name, "");
}

// The installer library that is missing here (iODBC's development link) is
// skipped instead of being searched through a null handle.
TEST(Helpers, LookupDriverFile) {
  // Held open so the installer's own cached allocations stay attributable to it.
  static void* installer = dlopen("libodbcinst.so", RTLD_NOW);
  REQUIRE_OR_SKIP(installer != nullptr, "libodbcinst.so (Debian unixodbc-dev) is not installed");
  ScratchDir scratch;
  WriteFile(scratch.path() / "odbcinst.ini", "[Sarnvale]\nDriver = /opt/sarnvale/libsarnvale.x64.so\n");
  setenv("ODBCSYSINI", scratch.path().c_str(), 1);
  char file[256] = "stale";
  EXPECT_EQ(sarnvale::LookupDriverFile("Sarnvale", file, sizeof file),
            static_cast<int>(strlen("/opt/sarnvale/libsarnvale.x64.so")));
  EXPECT_STREQ(file, "/opt/sarnvale/libsarnvale.x64.so");
  EXPECT_LE(sarnvale::LookupDriverFile("NoSuchDriver", file, sizeof file), 0);
  EXPECT_EQ(sarnvale::LookupDriverFile(nullptr, file, sizeof file), 0);
  unsetenv("ODBCSYSINI");
}

}  // namespace
}  // namespace drivertest
