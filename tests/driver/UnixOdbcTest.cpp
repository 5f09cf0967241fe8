// The driver under unixODBC's driver manager, linked in as applications do.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DriverManagerCases.h"

namespace drivertest {
namespace {

const DriverManagerApi kUnixOdbc{&SQLAllocHandle, &SQLSetEnvAttr, &SQLConnect,  &SQLExecDirect,
                                 &SQLDisconnect,  &SQLFreeHandle, &SQLGetDiagRec};

TEST(UnixOdbc, ConnectExecuteDisconnectReachTheRuntime) {
  RegisteredDriver registered;
  // unixODBC reads odbcinst.ini from the ODBCSYSINI folder.
  setenv("ODBCSYSINI", registered.scratch.path().c_str(), 1);
  setenv("ODBCINI", registered.odbcIni.c_str(), 1);
  ExpectConnectExecuteDisconnect(kUnixOdbc, registered);
}

TEST(UnixOdbc, InternalCallsStayInTheDriver) { ExpectInternalCallsStayInTheDriver("libodbc.so"); }

}  // namespace
}  // namespace drivertest
