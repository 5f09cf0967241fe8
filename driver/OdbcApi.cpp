// The exported ODBC API. Every export reaches the runtime through the hidden
// driver module, never through another exported name: the driver manager is
// loaded first and exports the same names, so such a call would land there.
#include "Driver.h"

#define SARNVALE_EXPORT extern "C" __attribute__((visibility("default")))

using namespace sarnvale;

#define SARNVALE_PASS_PATH(...) (g_driver.driverPath, __VA_ARGS__)

#define SARNVALE_FORWARDER(Name, Params, Args)          \
  SARNVALE_EXPORT SQLRETURN SQL_API Name Params {       \
    LogLine(#Name);                                     \
    auto entry = g_driver.entries.Name;                 \
    if (entry == nullptr) return SQL_ERROR;             \
    return entry SARNVALE_PASS_PATH Args;               \
  }
#define SARNVALE_SKIP(Name, Params, Args)
SARNVALE_RUNTIME_ENTRIES(SARNVALE_FORWARDER, SARNVALE_SKIP)

SARNVALE_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                                 SQLHANDLE* OutputHandle) {
  LogLine("SQLAllocHandle");
  return AllocHandleCounted(HandleType, InputHandle, OutputHandle);
}

SARNVALE_EXPORT SQLRETURN SQL_API SQLAllocEnv(SQLHENV* EnvironmentHandle) {
  LogLine("SQLAllocEnv");
  return AllocHandleCounted(SQL_HANDLE_ENV, SQL_NULL_HANDLE, EnvironmentHandle);
}

SARNVALE_EXPORT SQLRETURN SQL_API SQLAllocConnect(SQLHENV EnvironmentHandle, SQLHDBC* ConnectionHandle) {
  LogLine("SQLAllocConnect");
  return AllocHandleCounted(SQL_HANDLE_DBC, EnvironmentHandle, ConnectionHandle);
}

SARNVALE_EXPORT SQLRETURN SQL_API SQLAllocStmt(SQLHDBC ConnectionHandle, SQLHSTMT* StatementHandle) {
  LogLine("SQLAllocStmt");
  return AllocHandleCounted(SQL_HANDLE_STMT, ConnectionHandle, StatementHandle);
}

SARNVALE_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle) {
  LogLine("SQLFreeHandle");
  return FreeHandleCounted(HandleType, Handle);
}

SARNVALE_EXPORT SQLRETURN SQL_API SQLFreeEnv(SQLHENV EnvironmentHandle) {
  LogLine("SQLFreeEnv");
  return FreeHandleCounted(SQL_HANDLE_ENV, EnvironmentHandle);
}

SARNVALE_EXPORT SQLRETURN SQL_API SQLFreeConnect(SQLHDBC ConnectionHandle) {
  LogLine("SQLFreeConnect");
  return FreeHandleCounted(SQL_HANDLE_DBC, ConnectionHandle);
}

SARNVALE_EXPORT const char* GetCoreName() { return "Orvex.ODBCm.SharePoint"; }
