#pragma once
// Cases run the same way under each real driver manager; each manager has its
// own test program, since the two must never share a process.
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "DriverTestKit.h"

namespace drivertest {

// The manager's entry points, typed by the ODBC headers.
struct DriverManagerApi {
  decltype(&SQLAllocHandle) allocHandle;
  decltype(&SQLSetEnvAttr) setEnvAttr;
  decltype(&SQLConnect) connect;
  decltype(&SQLExecDirect) execDirect;
  decltype(&SQLDisconnect) disconnect;
  decltype(&SQLFreeHandle) freeHandle;
  decltype(&SQLGetDiagRec) getDiagRec;
};

// A scratch folder with a driver copy, the stand-in beside it and the two
// configuration files registering it as data source "sarnvale".
struct RegisteredDriver {
  ScratchDir scratch;
  fs::path driver;
  fs::path odbcinstIni;
  fs::path odbcIni;
  fs::path calls;
  RegisteredDriver();
};

// Connect, execute and disconnect through the manager; every step must reach
// the stand-in runtime with the registered driver's path.
void ExpectConnectExecuteDisconnect(const DriverManagerApi& manager, const RegisteredDriver& registered);

// With the manager loaded, the driver's ODBC 2 allocation and freeing exports
// must reach the runtime through the driver's own counted path, never through
// the manager's same-named exports.
void ExpectInternalCallsStayInTheDriver(const char* managerFile);

}  // namespace drivertest
