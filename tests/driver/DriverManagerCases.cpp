#include "DriverManagerCases.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "standin/ArgWord.h"

namespace drivertest {

namespace {

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::string Diagnostics(const DriverManagerApi& manager, SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  for (SQLSMALLINT record = 1; record <= 5; ++record) {
    SQLCHAR state[6] = {};
    SQLCHAR message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!Ok(manager.getDiagRec(type, handle, record, state, &native, message, sizeof message, &length))) break;
    text += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message) + "\n";
  }
  return text;
}

uint64_t Word(const void* pointer) { return standin::ArgWord(pointer); }

}  // namespace

RegisteredDriver::RegisteredDriver() {
  driver = CopyInto(DriverFile(), scratch.Sub("driver"));
  PutRuntime(driver.parent_path());
  odbcinstIni = scratch.path() / "odbcinst.ini";
  odbcIni = scratch.path() / "odbc.ini";
  calls = scratch.path() / "calls.log";
  WriteFile(odbcinstIni, "[ODBC Drivers]\nSarnvale = Installed\n\n[Sarnvale]\nDriver = " + driver.string() + "\n");
  WriteFile(odbcIni, "[ODBC Data Sources]\nsarnvale = Sarnvale\n\n[sarnvale]\nDriver = " + driver.string() + "\n");
  setenv("ORVEX_STANDIN_LOG", calls.c_str(), 1);
}

void ExpectConnectExecuteDisconnect(const DriverManagerApi& manager, const RegisteredDriver& registered) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_TRUE(Ok(manager.allocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
  ASSERT_TRUE(Ok(manager.setEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)));
  ASSERT_TRUE(Ok(manager.allocHandle(SQL_HANDLE_DBC, env, &dbc)));
  SQLCHAR dsn[] = "sarnvale";
  SQLCHAR user[] = "reader";
  SQLCHAR password[] = "secret";
  SQLRETURN rc = manager.connect(dbc, dsn, SQL_NTS, user, SQL_NTS, password, SQL_NTS);
  ASSERT_TRUE(Ok(rc)) << rc << " " << Diagnostics(manager, SQL_HANDLE_DBC, dbc);
  ASSERT_TRUE(Ok(manager.allocHandle(SQL_HANDLE_STMT, dbc, &stmt))) << Diagnostics(manager, SQL_HANDLE_DBC, dbc);
  SQLCHAR query[] = "SELECT Title FROM Tasks";
  rc = manager.execDirect(stmt, query, SQL_NTS);
  EXPECT_TRUE(Ok(rc)) << rc << " " << Diagnostics(manager, SQL_HANDLE_STMT, stmt);
  EXPECT_TRUE(Ok(manager.freeHandle(SQL_HANDLE_STMT, stmt)));
  EXPECT_TRUE(Ok(manager.disconnect(dbc))) << Diagnostics(manager, SQL_HANDLE_DBC, dbc);
  EXPECT_TRUE(Ok(manager.freeHandle(SQL_HANDLE_DBC, dbc)));
  EXPECT_TRUE(Ok(manager.freeHandle(SQL_HANDLE_ENV, env)));

  const auto calls = ReadCalls(registered.calls);
  const auto names = CallNames(calls);
  std::string seen;
  for (const std::string& name : names) seen += name + " ";
  EXPECT_TRUE(InOrder(names, {"SQLAllocHandle", "SQLAllocHandle", "SQLConnect|SQLConnectW", "SQLAllocHandle",
                              "SQLExecDirect|SQLExecDirectW|SQLPrepare|SQLPrepareW", "SQLDisconnect",
                              "SQLFreeHandle"}))
      << seen;
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().name, "SQLAllocHandle");
  EXPECT_EQ(calls.front().args.at(0), static_cast<uint64_t>(SQL_HANDLE_ENV));
  for (const RuntimeCall& call : calls) EXPECT_EQ(call.driverPath, registered.driver.string()) << call.name;
}

void ExpectInternalCallsStayInTheDriver(const char* managerFile) {
  // The trap is set: the process resolves SQLAllocHandle to the manager.
  Dl_info owner{};
  void* global = dlsym(RTLD_DEFAULT, "SQLAllocHandle");
  ASSERT_NE(global, nullptr);
  ASSERT_NE(dladdr(global, &owner), 0);
  ASSERT_NE(std::string(owner.dli_fname).find(managerFile), std::string::npos) << owner.dli_fname;

  ScratchDir scratch;
  fs::path driver = CopyInto(DriverFile(), scratch.Sub("driver"));
  PutRuntime(driver.parent_path());
  fs::path log = scratch.path() / "calls.log";
  setenv("ORVEX_STANDIN_LOG", log.c_str(), 1);
  void* library = dlopen(driver.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto allocEnv = reinterpret_cast<decltype(&SQLAllocEnv)>(dlsym(library, "SQLAllocEnv"));
  auto allocConnect = reinterpret_cast<decltype(&SQLAllocConnect)>(dlsym(library, "SQLAllocConnect"));
  auto freeConnect = reinterpret_cast<decltype(&SQLFreeConnect)>(dlsym(library, "SQLFreeConnect"));
  auto freeEnv = reinterpret_cast<decltype(&SQLFreeEnv)>(dlsym(library, "SQLFreeEnv"));
  ASSERT_TRUE(allocEnv && allocConnect && freeConnect && freeEnv);

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  ASSERT_EQ(allocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(allocConnect(env, &dbc), SQL_SUCCESS);
  EXPECT_EQ(freeConnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(freeEnv(env), SQL_SUCCESS);
  unsetenv("ORVEX_STANDIN_LOG");

  const auto calls = ReadCalls(log);
  ASSERT_EQ(calls.size(), 4u);
  const std::pair<const char*, std::vector<uint64_t>> expected[] = {
      {"SQLAllocHandle", {SQL_HANDLE_ENV, 0, Word(&env)}},
      {"SQLAllocHandle", {SQL_HANDLE_DBC, Word(env), Word(&dbc)}},
      {"SQLFreeHandle", {SQL_HANDLE_DBC, Word(dbc)}},
      {"SQLFreeHandle", {SQL_HANDLE_ENV, Word(env)}},
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].name, expected[i].first) << i;
    EXPECT_EQ(calls[i].args, expected[i].second) << i;
    EXPECT_EQ(calls[i].driverPath, driver.string()) << i;
  }
  dlclose(library);
}

}  // namespace drivertest
