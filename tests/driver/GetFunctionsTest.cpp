// SQLGetFunctions is answered by the driver itself, with no runtime loaded.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <set>

#include "DriverTestKit.h"

namespace drivertest {
namespace {

// The functions the driver reports, as ranges of standard ids.
std::set<int> ReportedIds() {
  std::set<int> ids;
  const std::pair<int, int> ranges[] = {{1, 24},   {40, 45},     {47, 50},     {52, 63},    {65, 72},
                                        {1001, 1001}, {1003, 1012}, {1014, 1014}, {1016, 1021}};
  for (auto [first, last] : ranges) {
    for (int id = first; id <= last; ++id) ids.insert(id);
  }
  return ids;
}

struct GetFunctions : ::testing::Test {
  ScratchDir scratch;
  void* library = nullptr;
  decltype(&SQLGetFunctions) getFunctions = nullptr;

  void SetUp() override {
    fs::path copy = CopyInto(DriverFile(), scratch.Sub("driver"));
    library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    getFunctions = reinterpret_cast<decltype(&SQLGetFunctions)>(dlsym(library, "SQLGetFunctions"));
    ASSERT_NE(getFunctions, nullptr);
  }
};

TEST_F(GetFunctions, SingleIds) {
  const std::set<int> reported = ReportedIds();
  ASSERT_EQ(reported.size(), 72u);
  for (int id : reported) {
    SQLUSMALLINT answer = 7;
    EXPECT_EQ(getFunctions(SQL_NULL_HDBC, static_cast<SQLUSMALLINT>(id), &answer), SQL_SUCCESS) << id;
    EXPECT_EQ(answer, SQL_TRUE) << id;
  }
  struct Case {
    int id;
    SQLRETURN rc;
  };
  // ODBC functions the driver does not report are a plain "no"; ids that name
  // no ODBC function are an error.
  const Case unlisted[] = {{46, SQL_SUCCESS},  {51, SQL_SUCCESS},   {64, SQL_SUCCESS},   {1002, SQL_SUCCESS},
                           {73, SQL_ERROR},  {1022, SQL_SUCCESS}, {25, SQL_ERROR},     {39, SQL_ERROR},
                           {74, SQL_ERROR},    {998, SQL_ERROR},    {1013, SQL_ERROR},   {1015, SQL_ERROR},
                           {1023, SQL_ERROR},  {65535, SQL_ERROR}};
  for (const Case& c : unlisted) {
    SQLUSMALLINT answer = 7;
    EXPECT_EQ(getFunctions(SQL_NULL_HDBC, static_cast<SQLUSMALLINT>(c.id), &answer), c.rc) << c.id;
    EXPECT_EQ(answer, SQL_FALSE) << c.id;
    EXPECT_EQ(getFunctions(SQL_NULL_HDBC, static_cast<SQLUSMALLINT>(c.id), nullptr), c.rc) << c.id;
  }
  EXPECT_EQ(getFunctions(SQL_NULL_HDBC, SQL_API_SQLGETFUNCTIONS, nullptr), SQL_SUCCESS);
}

TEST_F(GetFunctions, AllFunctionsArray) {
  const std::set<int> reported = ReportedIds();
  for (int round = 0; round < 2; ++round) {
    SQLUSMALLINT answers[101];
    std::fill(std::begin(answers), std::end(answers), 0xBEEF);
    ASSERT_EQ(getFunctions(SQL_NULL_HDBC, SQL_API_ALL_FUNCTIONS, answers), SQL_SUCCESS);
    for (int id = 0; id < 100; ++id) EXPECT_EQ(answers[id], reported.count(id) ? 1 : 0) << id;
    EXPECT_EQ(answers[100], 0xBEEF) << "wrote past the 100 entries";
  }
  EXPECT_EQ(getFunctions(SQL_NULL_HDBC, SQL_API_ALL_FUNCTIONS, nullptr), SQL_SUCCESS);
}

TEST_F(GetFunctions, Odbc3Bitmap) {
  const std::set<int> reported = ReportedIds();
  for (int round = 0; round < 2; ++round) {
    SQLUSMALLINT bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE + 1];
    std::fill(std::begin(bitmap), std::end(bitmap), 0xBEEF);
    ASSERT_EQ(getFunctions(SQL_NULL_HDBC, SQL_API_ODBC3_ALL_FUNCTIONS, bitmap), SQL_SUCCESS);
    int set = 0;
    for (int id = 0; id < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++id) {
      const bool exists = SQL_FUNC_EXISTS(bitmap, id) == SQL_TRUE;
      EXPECT_EQ(exists, reported.count(id) == 1) << id;
      set += exists;
    }
    EXPECT_EQ(set, 72);
    EXPECT_EQ(bitmap[62], (1u << (1001 % 16)) | (0x1Fu << (1003 % 16)));
    EXPECT_EQ(bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE], 0xBEEF) << "wrote past the 250 words";
  }
  EXPECT_EQ(getFunctions(SQL_NULL_HDBC, SQL_API_ODBC3_ALL_FUNCTIONS, nullptr), SQL_SUCCESS);
}

TEST_F(GetFunctions, CoreNameIsOneConstantText) {
  auto coreName = reinterpret_cast<const char* (*)()>(dlsym(library, "GetCoreName"));
  ASSERT_NE(coreName, nullptr);
  const char* first = coreName();
  EXPECT_STREQ(first, "Orvex.ODBCm.SharePoint");
  EXPECT_EQ(coreName(), first);
}

// Before any environment there is no runtime: forwarders refuse.
TEST_F(GetFunctions, ConnectBeforeAnyEnvironmentFails) {
  auto connect = reinterpret_cast<decltype(&SQLConnect)>(dlsym(library, "SQLConnect"));
  ASSERT_NE(connect, nullptr);
  SQLCHAR dsn[] = "x";
  EXPECT_EQ(connect(SQL_NULL_HDBC, dsn, SQL_NTS, nullptr, 0, nullptr, 0), SQL_ERROR);
}

}  // namespace
}  // namespace drivertest
