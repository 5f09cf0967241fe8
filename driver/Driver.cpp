#include "Driver.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sarnvale {

DriverState g_driver;

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

void* OpenLogged(const char* format, const char* path) {
  LogLine(format, path);
  void* handle = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
  if (handle == nullptr) {
    const char* error = dlerror();
    LogLine("Warning: Load library failed, %s", error != nullptr ? error : "");
  }
  return handle;
}

struct SearchAttempt {
  const char* runtimeFormat;
  const char* compatFormat;
};

// Both libraries count only when both open in one attempt.
bool TryAttempt(const SearchAttempt& attempt, const char* runtimePath, const char* compatPath) {
  g_driver.runtimeHandle = OpenLogged(attempt.runtimeFormat, runtimePath);
  g_driver.compatHandle = OpenLogged(attempt.compatFormat, compatPath);
  return g_driver.runtimeHandle != nullptr && g_driver.compatHandle != nullptr;
}

// A half-successful attempt must not leave its library loaded globally while
// the next attempt opens another copy that could interpose its symbols.
void CloseHalfOpened() {
  if (g_driver.runtimeHandle != nullptr) dlclose(g_driver.runtimeHandle);
  if (g_driver.compatHandle != nullptr) dlclose(g_driver.compatHandle);
  g_driver.runtimeHandle = nullptr;
  g_driver.compatHandle = nullptr;
}

bool TryEnvironment() {
  static constexpr SearchAttempt kAttempt{"Loading runtime library from environment: %s",
                                          "Loading runtime compat library from environment: %s"};
  return TryAttempt(kAttempt, kRuntimeFile, kCompatFile);
}

bool TrySharedPath() {
  static constexpr SearchAttempt kAttempt{"Loading runtime library from shared path: %s",
                                          "Loading runtime compat library from shared path: %s"};
  char runtimePath[kPathCapacity];
  char compatPath[kPathCapacity];
  snprintf(runtimePath, sizeof runtimePath, "%s/%s", SARNVALE_SHARED_RUNTIME_DIR, kRuntimeFile);
  snprintf(compatPath, sizeof compatPath, "%s/%s", SARNVALE_SHARED_RUNTIME_DIR, kCompatFile);
  return TryAttempt(kAttempt, runtimePath, compatPath);
}

bool TryDriverPath() {
  static constexpr SearchAttempt kAttempt{"Loading runtime library from driver path: %s",
                                          "Loading runtime compat library from driver path: %s"};
  char runtimePath[kPathCapacity + 1];
  char compatPath[kPathCapacity + 1];
  CopyBounded(runtimePath, sizeof runtimePath, g_driver.driverPath);
  CopyBounded(compatPath, sizeof compatPath, g_driver.driverPath);
  ReplaceFileName(runtimePath, kRuntimeFile, kPathCapacity);
  ReplaceFileName(compatPath, kCompatFile, kPathCapacity);
  return TryAttempt(kAttempt, runtimePath, compatPath);
}

}  // namespace

void LoadRuntime() {
  LogLine("Driver.LoadRuntime()");
  if (g_driver.runtimeHandle != nullptr) return;
  memset(g_driver.driverPath, 0, sizeof g_driver.driverPath);
  GetDriverPath(g_driver.driverPath, kPathCapacity);
  LogLine("Current driver path: %s", g_driver.driverPath);
  if (TryEnvironment()) return;
  CloseHalfOpened();
  if (TrySharedPath()) return;
  CloseHalfOpened();
  // The last attempt's result stands, whatever it is.
  TryDriverPath();
}

void UnloadRuntime() {
  LogLine("Driver.UnloadRuntime()");
  if (g_driver.runtimeHandle == nullptr) return;
  if (IsUnloadEnabled()) {
    dlclose(g_driver.runtimeHandle);
    g_driver.runtimeHandle = nullptr;
    return;
  }
  LogLine("Driver.UnloadRuntime().Ignored");
}

void BindRuntimeEntries() {
  void* runtime = g_driver.runtimeHandle;
  if (runtime == nullptr) return;
  RuntimeEntryTable& entries = g_driver.entries;
#define SARNVALE_BIND_ENTRY(Name, Params, Args)                                          \
  entries.Name = reinterpret_cast<decltype(entries.Name)>(dlsym(runtime, "RT_" #Name)); \
  if (entries.Name == nullptr) LogLine("Unable to get the '%s' API in Runtime", #Name);
  SARNVALE_RUNTIME_ENTRIES(SARNVALE_BIND_ENTRY, SARNVALE_BIND_ENTRY)
#undef SARNVALE_BIND_ENTRY
}

void ClearRuntimeEntries() { g_driver.entries = RuntimeEntryTable{}; }

SQLRETURN AllocHandleCounted(SQLSMALLINT handleType, SQLHANDLE input, SQLHANDLE* output) {
  const bool environment = handleType == SQL_HANDLE_ENV;
  if (environment && g_driver.environmentCount == 0) {
    LoadRuntime();
    BindRuntimeEntries();
  }
  auto entry = g_driver.entries.SQLAllocHandle;
  SQLRETURN rc = entry != nullptr ? entry(g_driver.driverPath, handleType, input, output) : SQL_ERROR;
  if (environment) {
    if (Succeeded(rc)) {
      ++g_driver.environmentCount;
    } else if (g_driver.environmentCount == 0) {
      ClearRuntimeEntries();
      UnloadRuntime();
    }
  }
  return rc;
}

SQLRETURN FreeHandleCounted(SQLSMALLINT handleType, SQLHANDLE handle) {
  auto entry = g_driver.entries.SQLFreeHandle;
  SQLRETURN rc = entry != nullptr ? entry(g_driver.driverPath, handleType, handle) : SQL_ERROR;
  if (handleType == SQL_HANDLE_ENV && Succeeded(rc)) {
    if (--g_driver.environmentCount <= 0) {
      ClearRuntimeEntries();
      UnloadRuntime();
      g_driver.environmentCount = 0;
    }
  }
  return rc;
}

bool IsUnloadEnabled() {
  const char* value = getenv("ORVEX_UNLOAD_RUNTIME");
  return value != nullptr && strcmp(value, "1") == 0;
}

int GetDriverPath(char* buffer, int capacity) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&GetDriverPath), &info) != 0 && info.dli_fname != nullptr) {
    CopyBounded(buffer, capacity, info.dli_fname);
  }
  return 0;
}

}  // namespace sarnvale
