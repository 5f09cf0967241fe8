// SQLGetFunctions is answered here from a fixed list, whatever the runtime offers.
#include <cstring>

#include "Driver.h"

namespace {

constexpr SQLUSMALLINT kSupportedFunctionIds[] = {
    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    16,   17,   18,   19,   20,   21,   22,   23,   24,   40,   41,   42,   43,   44,   45,
    47,   48,   49,   50,   52,   53,   54,   55,   56,   57,   58,   59,   60,   61,   62,
    63,   65,   66,   67,   68,   69,   70,   71,   72,   1001, 1003, 1004, 1005, 1006, 1007,
    1008, 1009, 1010, 1011, 1012, 1014, 1016, 1017, 1018, 1019, 1020, 1021};
static_assert(sizeof kSupportedFunctionIds / sizeof kSupportedFunctionIds[0] == 72);

// Every id the ODBC headers assign to a function a driver implements; an id outside
// this set names none. SQLAllocHandleStd (73) is the driver manager's own.
constexpr SQLUSMALLINT kOdbcFunctionIds[] = {
    SQL_API_SQLALLOCCONNECT,     SQL_API_SQLALLOCENV,       SQL_API_SQLALLOCSTMT,
    SQL_API_SQLBINDCOL,          SQL_API_SQLCANCEL,         SQL_API_SQLCOLATTRIBUTE,
    SQL_API_SQLCONNECT,          SQL_API_SQLDESCRIBECOL,    SQL_API_SQLDISCONNECT,
    SQL_API_SQLERROR,            SQL_API_SQLEXECDIRECT,     SQL_API_SQLEXECUTE,
    SQL_API_SQLFETCH,            SQL_API_SQLFREECONNECT,    SQL_API_SQLFREEENV,
    SQL_API_SQLFREESTMT,         SQL_API_SQLGETCURSORNAME,  SQL_API_SQLNUMRESULTCOLS,
    SQL_API_SQLPREPARE,          SQL_API_SQLROWCOUNT,       SQL_API_SQLSETCURSORNAME,
    SQL_API_SQLSETPARAM,         SQL_API_SQLTRANSACT,       SQL_API_SQLBULKOPERATIONS,
    SQL_API_SQLCOLUMNS,          SQL_API_SQLDRIVERCONNECT,  SQL_API_SQLGETCONNECTOPTION,
    SQL_API_SQLGETDATA,          SQL_API_SQLGETFUNCTIONS,   SQL_API_SQLGETINFO,
    SQL_API_SQLGETSTMTOPTION,    SQL_API_SQLGETTYPEINFO,    SQL_API_SQLPARAMDATA,
    SQL_API_SQLPUTDATA,          SQL_API_SQLSETCONNECTOPTION, SQL_API_SQLSETSTMTOPTION,
    SQL_API_SQLSPECIALCOLUMNS,   SQL_API_SQLSTATISTICS,     SQL_API_SQLTABLES,
    SQL_API_SQLBROWSECONNECT,    SQL_API_SQLCOLUMNPRIVILEGES, SQL_API_SQLDATASOURCES,
    SQL_API_SQLDESCRIBEPARAM,    SQL_API_SQLEXTENDEDFETCH,  SQL_API_SQLFOREIGNKEYS,
    SQL_API_SQLMORERESULTS,      SQL_API_SQLNATIVESQL,      SQL_API_SQLNUMPARAMS,
    SQL_API_SQLPARAMOPTIONS,     SQL_API_SQLPRIMARYKEYS,    SQL_API_SQLPROCEDURECOLUMNS,
    SQL_API_SQLPROCEDURES,       SQL_API_SQLSETPOS,         SQL_API_SQLSETSCROLLOPTIONS,
    SQL_API_SQLTABLEPRIVILEGES,  SQL_API_SQLDRIVERS,        SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLALLOCHANDLE,    SQL_API_SQLBINDPARAM,
    SQL_API_SQLCLOSECURSOR,      SQL_API_SQLCOPYDESC,       SQL_API_SQLENDTRAN,
    SQL_API_SQLFREEHANDLE,       SQL_API_SQLGETCONNECTATTR, SQL_API_SQLGETDESCFIELD,
    SQL_API_SQLGETDESCREC,       SQL_API_SQLGETDIAGFIELD,   SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETENVATTR,       SQL_API_SQLGETSTMTATTR,    SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLSETDESCFIELD,     SQL_API_SQLSETDESCREC,     SQL_API_SQLSETENVATTR,
    SQL_API_SQLSETSTMTATTR,      SQL_API_SQLFETCHSCROLL,    SQL_API_SQLCANCELHANDLE};

constexpr int kAllFunctionsSize = 100;

// Live for the life of the library; only ever set, so a rebuild never changes them.
SQLUSMALLINT g_allFunctions[kAllFunctionsSize];
SQLUSMALLINT g_odbc3Functions[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];

void BuildAnswers() {
  for (SQLUSMALLINT id : kSupportedFunctionIds) {
    if (id < kAllFunctionsSize) g_allFunctions[id] = SQL_TRUE;
    g_odbc3Functions[id >> 4] |= static_cast<SQLUSMALLINT>(1u << (id & 0xF));
  }
}

template <size_t N>
bool Contains(const SQLUSMALLINT (&ids)[N], SQLUSMALLINT id) {
  for (SQLUSMALLINT listed : ids) {
    if (listed == id) return true;
  }
  return false;
}

void Store(SQLUSMALLINT* output, SQLUSMALLINT value) {
  if (output != nullptr) *output = value;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) SQLRETURN SQL_API
SQLGetFunctions(SQLHDBC /*ConnectionHandle*/, SQLUSMALLINT FunctionId, SQLUSMALLINT* Supported) {
  sarnvale::LogLine("SQLGetFunctions");
  BuildAnswers();
  if (FunctionId == SQL_API_ALL_FUNCTIONS) {
    if (Supported != nullptr) memcpy(Supported, g_allFunctions, sizeof g_allFunctions);
    return SQL_SUCCESS;
  }
  if (FunctionId == SQL_API_ODBC3_ALL_FUNCTIONS) {
    if (Supported != nullptr) memcpy(Supported, g_odbc3Functions, sizeof g_odbc3Functions);
    return SQL_SUCCESS;
  }
  if (Contains(kSupportedFunctionIds, FunctionId)) {
    Store(Supported, SQL_TRUE);
    return SQL_SUCCESS;
  }
  Store(Supported, SQL_FALSE);
  // An ODBC function this driver does not offer is a plain "no"; only an id that
  // names no function at all is an error.
  return Contains(kOdbcFunctionIds, FunctionId) ? SQL_SUCCESS : SQL_ERROR;
}
