#pragma once
// The driver module: runtime search, entry binding, the counted environment
// lifecycle and logging. Nothing here is visible outside the library.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "RuntimeEntries.h"

// Where a machine-wide runtime install lives; a test build points it elsewhere.
#ifndef SARNVALE_SHARED_RUNTIME_DIR
#define SARNVALE_SHARED_RUNTIME_DIR "/opt/orvex/rt/lib"
#endif

#define SARNVALE_UNPAREN(...) __VA_ARGS__
// A runtime entry takes the driver path in front of the ODBC arguments.
#define SARNVALE_PATH_FIRST(...) (const char* driverPath, __VA_ARGS__)

#pragma GCC visibility push(hidden)

namespace sarnvale {

inline constexpr const char kRuntimeFile[] = "liborvexrt.x64.so.6";
inline constexpr const char kCompatFile[] = "liborvexrt-compat.x64.so.6";
inline constexpr int kPathCapacity = 1024;  // buffers hold one more byte for the NUL
inline constexpr int kTextCapacity = 1024;

// One typed pointer per runtime entry, named after its ODBC function; null when
// the runtime lacks it.
struct RuntimeEntryTable {
#define SARNVALE_ENTRY_FIELD(Name, Params, Args) SQLRETURN(*Name) SARNVALE_PATH_FIRST Params;
  SARNVALE_RUNTIME_ENTRIES(SARNVALE_ENTRY_FIELD, SARNVALE_ENTRY_FIELD)
#undef SARNVALE_ENTRY_FIELD
};

struct DriverState {
  char driverPath[kPathCapacity + 1];
  void* runtimeHandle;
  void* compatHandle;
  RuntimeEntryTable entries;
  int environmentCount;
};

extern DriverState g_driver;

void LoadRuntime();
void UnloadRuntime();
void BindRuntimeEntries();
void ClearRuntimeEntries();
SQLRETURN AllocHandleCounted(SQLSMALLINT handleType, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN FreeHandleCounted(SQLSMALLINT handleType, SQLHANDLE handle);
bool IsUnloadEnabled();

int GetDriverPath(char* buffer, int capacity);
int ReplaceFileName(char* path, const char* fileName, int capacity);
void CopyBounded(char* destination, int capacity, const char* source);
int InsertBounded(char* buffer, int capacity, int position, const char* text);

void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Helpers kept for tooling; the library itself never calls them.
int LookupDriverFile(const char* driverName, char* output, int capacity);
int ProbeCoreName(const char* libraryPath, char* output, int capacity);
int ProbeRuntimeVersion(const char* libraryPath);

}  // namespace sarnvale

#pragma GCC visibility pop
