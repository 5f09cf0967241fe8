// A stand-in for a driver manager's installer library. Copied under the
// installer's file names into a folder on LD_LIBRARY_PATH, it records every
// call in $STANDIN_LOG and fails the calls named in $STANDIN_FAIL, so tests
// can choose which managers the tool finds and how their installers behave.
// Built without SQLGetPrivateProfileString it stands for an incomplete one.
#include <dlfcn.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

uint16_t configMode = 0;
bool errorPending = false;
char errorText[4096];

const char* OwnName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnName), &info) == 0 || info.dli_fname == nullptr) return "?";
  const char* slash = std::strrchr(info.dli_fname, '/');
  return slash != nullptr ? slash + 1 : info.dli_fname;
}

void Log(const char* format, ...) {
  const char* path = std::getenv("STANDIN_LOG");
  if (path == nullptr) return;
  FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fprintf(file, "%s ", OwnName());
  va_list args;
  va_start(args, format);
  std::vfprintf(file, format, args);
  va_end(args);
  std::fputc('\n', file);
  std::fclose(file);
}

bool Listed(const char* variable, const char* function) {
  const char* list = std::getenv(variable);
  if (list == nullptr) return false;
  size_t length = std::strlen(function);
  for (const char* p = std::strstr(list, function); p != nullptr; p = std::strstr(p + 1, function)) {
    bool starts = p == list || p[-1] == ',';
    bool ends = p[length] == '\0' || p[length] == ',';
    if (starts && ends) return true;
  }
  return false;
}

// 1 for success, else 0 with an error posted unless the call fails silently.
int Outcome(const char* function) {
  if (!Listed("STANDIN_FAIL", function)) return 1;
  if (Listed("STANDIN_SILENT", function)) return 0;
  errorPending = true;
  if (std::getenv("STANDIN_LONG_ERROR") != nullptr) {
    std::memset(errorText, 'x', 2000);
    errorText[2000] = '\0';
  } else {
    std::snprintf(errorText, sizeof errorText, "%s failed", function);
  }
  return 0;
}

const char* Text(const char* text) { return text != nullptr ? text : "(null)"; }

__attribute__((constructor)) void Loaded() { Log("loaded"); }

}  // namespace

extern "C" {

int SQLGetConfigMode(uint16_t* mode) {
  Log("SQLGetConfigMode");
  *mode = configMode;
  return Outcome("SQLGetConfigMode");
}

int SQLSetConfigMode(uint16_t mode) {
  Log("SQLSetConfigMode %u", mode);
  if (Outcome("SQLSetConfigMode") == 0) return 0;
  configMode = mode;
  return 1;
}

int SQLRemoveDSNFromIni(const char* dsn) {
  Log("SQLRemoveDSNFromIni [%s]", Text(dsn));
  return Outcome("SQLRemoveDSNFromIni");
}

int SQLWriteDSNToIni(const char* dsn, const char* driver) {
  Log("SQLWriteDSNToIni [%s] [%s]", Text(dsn), Text(driver));
  return Outcome("SQLWriteDSNToIni");
}

int SQLRemoveDriver(const char* driver, int removeDsns, uint32_t* usageCount) {
  Log("SQLRemoveDriver [%s] %d", Text(driver), removeDsns);
  if (usageCount != nullptr) *usageCount = 0;
  return Outcome("SQLRemoveDriver");
}

int SQLInstallDriverEx(const char* attributes, const char*, char* pathOut, uint16_t pathOutMax, uint16_t*, uint16_t,
                       uint32_t*) {
  // The attribute list is NUL-separated; log it joined by '|'.
  char joined[2048] = "";
  size_t used = 0;
  for (const char* p = attributes; p != nullptr && *p != '\0' && used < sizeof joined; p += std::strlen(p) + 1) {
    used += std::snprintf(joined + used, sizeof joined - used, "%s%s", used == 0 ? "" : "|", p);
  }
  Log("SQLInstallDriverEx [%s]", joined);
  if (pathOut != nullptr && pathOutMax > 0) pathOut[0] = '\0';
  return Outcome("SQLInstallDriverEx");
}

int SQLWritePrivateProfileString(const char* section, const char* entry, const char* value, const char* file) {
  Log("SQLWritePrivateProfileString [%s] [%s] [%s] [%s]", Text(section), Text(entry), Text(value), Text(file));
  return Outcome("SQLWritePrivateProfileString");
}

#ifndef STANDIN_INCOMPLETE
int SQLGetPrivateProfileString(const char* section, const char* entry, const char* defaultValue, char* buffer,
                               int bufferSize, const char* file) {
  Log("SQLGetPrivateProfileString [%s] [%s] [%s]", Text(section), Text(entry), Text(file));
  if (buffer != nullptr && bufferSize > 0) std::snprintf(buffer, bufferSize, "%s", Text(defaultValue));
  return 0;
}
#endif

// Like a careless installer, fills the whole buffer when the text is longer.
int16_t SQLInstallerError(uint16_t, uint32_t* code, char* message, uint16_t messageMax, uint16_t*) {
  if (!errorPending) return 100;
  errorPending = false;
  *code = 11;
  size_t length = std::strlen(errorText);
  if (length >= messageMax) {
    std::memcpy(message, errorText, messageMax);
  } else {
    std::memcpy(message, errorText, length + 1);
  }
  return 0;
}

}  // extern "C"
