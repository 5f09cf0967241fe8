// The library shows the ODBC API, GetCoreName and nothing else, and takes no
// heap memory of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include "DriverTestKit.h"

namespace drivertest {
namespace {

const char* const kExports[] = {
    "GetCoreName", "SQLGetFunctions",
    "SQLAllocHandle", "SQLAllocEnv", "SQLAllocConnect", "SQLAllocStmt", "SQLFreeHandle", "SQLFreeEnv",
    "SQLFreeConnect",
    "SQLBindCol", "SQLBindParam", "SQLCancel", "SQLCloseCursor", "SQLColAttribute", "SQLColumns", "SQLConnect",
    "SQLCopyDesc", "SQLDataSources", "SQLDescribeCol", "SQLDisconnect", "SQLEndTran", "SQLError", "SQLExecDirect",
    "SQLExecute", "SQLFetch", "SQLFetchScroll", "SQLFreeStmt", "SQLGetConnectAttr", "SQLGetConnectOption",
    "SQLGetCursorName", "SQLGetData", "SQLGetDescField", "SQLGetDescRec", "SQLGetDiagField", "SQLGetDiagRec",
    "SQLGetEnvAttr", "SQLGetInfo", "SQLGetStmtAttr", "SQLGetStmtOption", "SQLGetTypeInfo", "SQLNumResultCols",
    "SQLParamData", "SQLPrepare", "SQLPutData", "SQLRowCount", "SQLSetConnectAttr", "SQLSetConnectOption",
    "SQLSetCursorName", "SQLSetDescField", "SQLSetDescRec", "SQLSetEnvAttr", "SQLSetParam", "SQLSetStmtAttr",
    "SQLSetStmtOption", "SQLSpecialColumns", "SQLStatistics", "SQLTables", "SQLTransact", "SQLBrowseConnect",
    "SQLBulkOperations", "SQLColAttributes", "SQLColumnPrivileges", "SQLDescribeParam", "SQLExtendedFetch",
    "SQLForeignKeys", "SQLMoreResults", "SQLNativeSql", "SQLNumParams", "SQLParamOptions", "SQLPrimaryKeys",
    "SQLProcedureColumns", "SQLProcedures", "SQLSetPos", "SQLTablePrivileges", "SQLDrivers", "SQLBindParameter",
    "SQLDriverConnect", "SQLSetScrollOptions",
    "SQLColAttributeW", "SQLColumnsW", "SQLConnectW", "SQLDataSourcesW", "SQLDescribeColW", "SQLErrorW",
    "SQLExecDirectW", "SQLGetConnectAttrW", "SQLGetConnectOptionW", "SQLGetCursorNameW", "SQLGetDescFieldW",
    "SQLGetDescRecW", "SQLGetDiagFieldW", "SQLGetDiagRecW", "SQLGetInfoW", "SQLGetStmtAttrW", "SQLGetTypeInfoW",
    "SQLPrepareW", "SQLSetConnectAttrW", "SQLSetConnectOptionW", "SQLSetCursorNameW", "SQLSetDescFieldW",
    "SQLSetStmtAttrW", "SQLSpecialColumnsW", "SQLStatisticsW", "SQLTablesW", "SQLBrowseConnectW",
    "SQLColAttributesW", "SQLColumnPrivilegesW", "SQLForeignKeysW", "SQLNativeSqlW", "SQLPrimaryKeysW",
    "SQLProcedureColumnsW", "SQLProceduresW", "SQLTablePrivilegesW", "SQLDriversW", "SQLDriverConnectW"};

// Symbol names listed by nm with the given options; a version suffix is dropped.
std::vector<std::string> DynamicSymbols(const std::string& options) {
  ProcessResult nm = RunProgram({"/usr/bin/nm", "-D", options, DriverFile().string()}, {});
  EXPECT_EQ(nm.exitCode, 0) << nm.output;
  std::vector<std::string> names;
  for (const std::string& line : nm.Lines()) {
    std::istringstream fields(line);
    std::vector<std::string> parts;
    for (std::string part; fields >> part;) parts.push_back(part);
    if (parts.empty()) continue;
    std::string name = parts.back();
    names.push_back(name.substr(0, name.find('@')));
  }
  return names;
}

TEST(Exports, ExactlyTheOdbcApiAndCoreName) {
  const std::set<std::string> expected(std::begin(kExports), std::end(kExports));
  ASSERT_EQ(expected.size(), 115u);
  const std::vector<std::string> defined = DynamicSymbols("--defined-only");
  EXPECT_EQ(defined.size(), 115u);
  EXPECT_EQ(std::set<std::string>(defined.begin(), defined.end()), expected);
}

TEST(Exports, NoHeapAllocation) {
  const std::set<std::string> allocators = {"malloc", "calloc", "realloc", "strdup", "strndup", "_Znwm",
                                            "_Znam",  "_ZnwmRKSt9nothrow_t", "_ZnamRKSt9nothrow_t", "posix_memalign",
                                            "aligned_alloc"};
  for (const std::string& name : DynamicSymbols("--undefined-only")) {
    EXPECT_EQ(allocators.count(name), 0u) << name;
  }
}

}  // namespace
}  // namespace drivertest
