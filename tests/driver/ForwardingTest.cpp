// Every plain forwarder reaches its runtime entry with the driver path first
// and each argument unchanged, and hands back the entry's answer. The calls are
// made through the prototypes of the ODBC headers, not the driver's own table.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdlib>
#include <tuple>
#include <utility>

#include "../../driver/RuntimeEntries.h"
#include "DriverTestKit.h"
#include "standin/ArgWord.h"

namespace drivertest {
namespace {

// A value for argument `slot` of forwarder `index`, distinct across both and
// with high bits set where the type has them, so a narrowed or swapped
// argument shows. Pointers are never followed: the stand-in runs passive.
template <class T>
T ArgumentValue(int index, size_t slot) {
  const uint64_t pattern = 0x0123456789AB0000ull + static_cast<uint64_t>(index) * 16 + slot + 1;
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(static_cast<uintptr_t>(pattern));
  } else {
    return static_cast<T>(pattern);
  }
}

struct Forwarder {
  const char* name;
  // Calls the export with made-up arguments; returns its result and the words
  // the stand-in should record for them.
  SQLRETURN (*call)(void* library, const char* name, int index, std::vector<uint64_t>& words);
};

template <class... A, size_t... I>
SQLRETURN CallWith(SQLRETURN (*function)(A...), int index, std::vector<uint64_t>& words,
                   std::index_sequence<I...>) {
  std::tuple<A...> args{ArgumentValue<A>(index, I)...};
  words = {standin::ArgWord(std::get<I>(args))...};
  return std::apply(function, args);
}

template <class F>
SQLRETURN CallExport(void* library, const char* name, int index, std::vector<uint64_t>& words) {
  auto function = reinterpret_cast<F>(dlsym(library, name));
  if (function == nullptr) {
    ADD_FAILURE() << name << " is not exported";
    return SQL_INVALID_HANDLE;
  }
  return [&]<class... A>(SQLRETURN (*typed)(A...)) {
    return CallWith(typed, index, words, std::index_sequence_for<A...>{});
  }(function);
}

#define FORWARDER_ROW(Name, Params, Args) {#Name, &CallExport<decltype(&::Name)>},
#define SKIP_ROW(Name, Params, Args)
const Forwarder kForwarders[] = {SARNVALE_RUNTIME_ENTRIES(FORWARDER_ROW, SKIP_ROW)};
#undef FORWARDER_ROW
#undef SKIP_ROW

struct LoadedDriver {
  ScratchDir scratch;
  fs::path path;
  fs::path calls;
  void* library = nullptr;

  LoadedDriver() {
    path = CopyInto(DriverFile(), scratch.Sub("driver"));
    PutRuntime(path.parent_path());
    calls = scratch.path() / "calls.log";
    setenv("ORVEX_STANDIN_LOG", calls.c_str(), 1);
    setenv("ORVEX_STANDIN_PASSIVE", "1", 1);
    library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  ~LoadedDriver() {
    unsetenv("ORVEX_STANDIN_RC");
    unsetenv("ORVEX_STANDIN_PASSIVE");
    unsetenv("ORVEX_STANDIN_LOG");
  }
  template <class F>
  F Export(const char* name) const {
    return reinterpret_cast<F>(dlsym(library, name));
  }
};

TEST(Forwarding, EveryForwarderPassesPathAndArgumentsThrough) {
  ASSERT_EQ(std::size(kForwarders), 106u);
  LoadedDriver driver;
  ASSERT_NE(driver.library, nullptr) << dlerror();

  // No environment yet: nothing is bound, nothing is called.
  for (int i = 0; i < static_cast<int>(std::size(kForwarders)); ++i) {
    std::vector<uint64_t> words;
    EXPECT_EQ(kForwarders[i].call(driver.library, kForwarders[i].name, i, words), SQL_ERROR) << kForwarders[i].name;
  }
  EXPECT_TRUE(ReadCalls(driver.calls).empty());

  SQLHENV env = SQL_NULL_HENV;
  ASSERT_EQ(driver.Export<decltype(&SQLAllocHandle)>("SQLAllocHandle")(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env),
            SQL_SUCCESS);
  for (int i = 0; i < static_cast<int>(std::size(kForwarders)); ++i) {
    const Forwarder& forwarder = kForwarders[i];
    SCOPED_TRACE(forwarder.name);
    const SQLRETURN answer = static_cast<SQLRETURN>(-300 - i);
    setenv("ORVEX_STANDIN_RC", (std::string(forwarder.name) + "=" + std::to_string(answer)).c_str(), 1);
    std::vector<uint64_t> words;
    EXPECT_EQ(forwarder.call(driver.library, forwarder.name, i, words), answer);
    const auto calls = ReadCalls(driver.calls);
    ASSERT_EQ(calls.size(), static_cast<size_t>(i) + 2);
    EXPECT_EQ(calls.back().name, forwarder.name);
    EXPECT_EQ(calls.back().driverPath, driver.path.string());
    EXPECT_EQ(calls.back().args, words);
  }
}

struct CountedCase {
  const char* exportName;
  std::vector<uint64_t> (*call)(const LoadedDriver&);
  const char* entry;
};

void* Fake(uintptr_t value) { return reinterpret_cast<void*>(value); }
uint64_t Word(const void* pointer) { return standin::ArgWord(pointer); }

// Allocation and freeing go through RT_SQLAllocHandle and RT_SQLFreeHandle
// whichever export the caller used.
TEST(Forwarding, CountedExportsReachTheHandleEntries) {
  static SQLHANDLE out;
  const CountedCase cases[] = {
      {"SQLAllocHandle",
       [](const LoadedDriver& d) {
         d.Export<decltype(&SQLAllocHandle)>("SQLAllocHandle")(SQL_HANDLE_DESC, Fake(0x71), &out);
         return std::vector<uint64_t>{4, 0x71, Word(&out)};
       },
       "SQLAllocHandle"},
      {"SQLAllocEnv",
       [](const LoadedDriver& d) {
         d.Export<decltype(&SQLAllocEnv)>("SQLAllocEnv")(&out);
         return std::vector<uint64_t>{1, 0, Word(&out)};
       },
       "SQLAllocHandle"},
      {"SQLAllocConnect",
       [](const LoadedDriver& d) {
         d.Export<decltype(&SQLAllocConnect)>("SQLAllocConnect")(Fake(0x72), &out);
         return std::vector<uint64_t>{2, 0x72, Word(&out)};
       },
       "SQLAllocHandle"},
      {"SQLAllocStmt",
       [](const LoadedDriver& d) {
         d.Export<decltype(&SQLAllocStmt)>("SQLAllocStmt")(Fake(0x73), &out);
         return std::vector<uint64_t>{3, 0x73, Word(&out)};
       },
       "SQLAllocHandle"},
      {"SQLFreeHandle",
       [](const LoadedDriver& d) {
         d.Export<decltype(&SQLFreeHandle)>("SQLFreeHandle")(SQL_HANDLE_STMT, Fake(0x74));
         return std::vector<uint64_t>{3, 0x74};
       },
       "SQLFreeHandle"},
      {"SQLFreeConnect",
       [](const LoadedDriver& d) {
         d.Export<decltype(&SQLFreeConnect)>("SQLFreeConnect")(Fake(0x75));
         return std::vector<uint64_t>{2, 0x75};
       },
       "SQLFreeHandle"},
      {"SQLFreeEnv",
       [](const LoadedDriver& d) {
         d.Export<decltype(&SQLFreeEnv)>("SQLFreeEnv")(Fake(0x76));
         return std::vector<uint64_t>{1, 0x76};
       },
       "SQLFreeHandle"},
  };
  LoadedDriver driver;
  ASSERT_NE(driver.library, nullptr) << dlerror();
  SQLHENV env = SQL_NULL_HENV;
  ASSERT_EQ(driver.Export<decltype(&SQLAllocHandle)>("SQLAllocHandle")(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env),
            SQL_SUCCESS);
  for (const CountedCase& c : cases) {
    SCOPED_TRACE(c.exportName);
    const std::vector<uint64_t> expected = c.call(driver);
    const auto calls = ReadCalls(driver.calls);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().name, c.entry);
    EXPECT_EQ(calls.back().driverPath, driver.path.string());
    EXPECT_EQ(calls.back().args, expected);
  }
  auto coreName = driver.Export<const char* (*)()>("GetCoreName");
  ASSERT_NE(coreName, nullptr);
  EXPECT_STREQ(coreName(), "Orvex.ODBCm.SharePoint");
}

}  // namespace
}  // namespace drivertest
