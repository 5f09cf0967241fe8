#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#include "Driver.h"

namespace sarnvale {

namespace {

using GetProfileString = int (*)(const char* section, const char* entry, const char* fallback,
                                 char* output, int capacity, const char* fileName);
using CoreNameFunction = const char* (*)();
using VersionFunction = const void* (*)();

// An installer library that did not open is skipped: a null handle would make
// dlsym search the whole process instead.
int AskDriverKey(void* installer, const char* driverName, char* output, int capacity) {
  if (installer == nullptr) return 0;
  auto query = reinterpret_cast<GetProfileString>(dlsym(installer, "SQLGetPrivateProfileString"));
  if (query == nullptr) return 0;
  return query(driverName, "Driver", "", output, capacity, "ODBCINST.INI");
}

void CloseIfOpen(void* handle) {
  if (handle != nullptr) dlclose(handle);
}

}  // namespace

int LookupDriverFile(const char* driverName, char* output, int capacity) {
  if (driverName == nullptr || output == nullptr || capacity <= 0) return 0;
  void* unixInstaller = dlopen("libodbcinst.so", RTLD_NOW);
  void* iodbcInstaller = dlopen("libiodbcinst.so", RTLD_NOW);
  int length = AskDriverKey(unixInstaller, driverName, output, capacity);
  if (length <= 0) length = AskDriverKey(iodbcInstaller, driverName, output, capacity);
  CloseIfOpen(unixInstaller);
  CloseIfOpen(iodbcInstaller);
  return length;
}

int ProbeCoreName(const char* libraryPath, char* output, int capacity) {
  CopyBounded(output, capacity, "");
  // A null path would open the main program rather than a library.
  if (libraryPath == nullptr) return 0;
  void* library = dlopen(libraryPath, RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) return 0;
  auto coreName = reinterpret_cast<CoreNameFunction>(dlsym(library, "GetCoreName"));
  if (coreName != nullptr) CopyBounded(output, capacity, coreName());
  dlclose(library);
  return 0;
}

int ProbeRuntimeVersion(const char* libraryPath) {
  if (libraryPath == nullptr) return -1;
  void* library = dlopen(libraryPath, RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) return -1;
  int32_t version = -1;
  auto versionEntry = reinterpret_cast<VersionFunction>(dlsym(library, "RT_Version"));
  const void* answer = versionEntry != nullptr ? versionEntry() : nullptr;
  if (answer != nullptr) memcpy(&version, answer, sizeof version);
  dlclose(library);
  return version;
}

}  // namespace sarnvale
