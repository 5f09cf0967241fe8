// The driver under iODBC's driver manager, loaded at run time: the test is
// built against unixODBC's headers, which iODBC matches for the ANSI calls used.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "DriverManagerCases.h"
#include "TestSupport.h"

namespace drivertest {
namespace {

void* LoadIodbc() {
  static void* library = dlopen("libiodbc.so.2", RTLD_NOW | RTLD_GLOBAL);
  return library;
}

template <class F>
F Entry(const char* name) {
  return reinterpret_cast<F>(dlsym(LoadIodbc(), name));
}

TEST(Iodbc, ConnectExecuteDisconnectReachTheRuntime) {
  REQUIRE_OR_SKIP(LoadIodbc() != nullptr, "libiodbc.so.2 (Debian libiodbc2) is not installed");
  const DriverManagerApi iodbc{
      Entry<decltype(&SQLAllocHandle)>("SQLAllocHandle"), Entry<decltype(&SQLSetEnvAttr)>("SQLSetEnvAttr"),
      Entry<decltype(&SQLConnect)>("SQLConnect"),         Entry<decltype(&SQLExecDirect)>("SQLExecDirect"),
      Entry<decltype(&SQLDisconnect)>("SQLDisconnect"),   Entry<decltype(&SQLFreeHandle)>("SQLFreeHandle"),
      Entry<decltype(&SQLGetDiagRec)>("SQLGetDiagRec")};
  RegisteredDriver registered;
  // iODBC takes full paths of both files.
  setenv("ODBCINI", registered.odbcIni.c_str(), 1);
  setenv("ODBCINSTINI", registered.odbcinstIni.c_str(), 1);
  ExpectConnectExecuteDisconnect(iodbc, registered);
}

TEST(Iodbc, InternalCallsStayInTheDriver) {
  REQUIRE_OR_SKIP(LoadIodbc() != nullptr, "libiodbc.so.2 (Debian libiodbc2) is not installed");
  ExpectInternalCallsStayInTheDriver("libiodbc.so");
}

}  // namespace
}  // namespace drivertest
