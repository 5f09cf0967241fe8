// Stand-in for the maker's driver runtime, for tests and the demo only.
//
// Every RT_ entry appends one line to the file named by ORVEX_STANDIN_LOG:
//   <ODBC name> TAB <driver path> TAB <argument words in hex, space separated>
// Answers come from ORVEX_STANDIN_RC ("SQLConnect=1,SQLAllocHandle=-1"); an
// entry not named there answers as a tiny data source would (handles, empty
// results, no diagnostics). With ORVEX_STANDIN_PASSIVE=1 nothing is written
// through the caller's pointers, so arbitrary argument values can be passed.
#include <fcntl.h>
#include <unistd.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "../../../driver/RuntimeEntries.h"
#include "ArgWord.h"

#define STANDIN_UNPAREN(...) __VA_ARGS__

namespace {

constexpr size_t kLineCapacity = 4096;

void AppendLine(const char* line, size_t length) {
  const char* file = getenv("ORVEX_STANDIN_LOG");
  if (file == nullptr || *file == '\0') return;
  int fd = open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t written = write(fd, line, length);
  (void)written;
  close(fd);
}

template <class... A>
void Record(const char* name, const char* driverPath, A... args) {
  char line[kLineCapacity];
  int used = snprintf(line, sizeof line, "%s\t%s\t", name, driverPath != nullptr ? driverPath : "(null)");
  const uint64_t words[] = {standin::ArgWord(args)...};
  for (size_t i = 0; i < sizeof...(A) && used > 0 && static_cast<size_t>(used) < sizeof line; ++i) {
    used += snprintf(line + used, sizeof line - static_cast<size_t>(used), i == 0 ? "%llx" : " %llx",
                     static_cast<unsigned long long>(words[i]));
  }
  if (used <= 0 || static_cast<size_t>(used) >= sizeof line - 1) return;
  line[used++] = '\n';
  AppendLine(line, static_cast<size_t>(used));
}

bool Passive() {
  const char* value = getenv("ORVEX_STANDIN_PASSIVE");
  return value != nullptr && strcmp(value, "1") == 0;
}

// The scripted answer for a name, or the given default.
SQLRETURN Scripted(const char* name, SQLRETURN fallback) {
  const char* script = getenv("ORVEX_STANDIN_RC");
  if (script == nullptr) return fallback;
  const size_t nameLength = strlen(name);
  for (const char* at = script; *at != '\0';) {
    const char* end = strchr(at, ',');
    if (end == nullptr) end = at + strlen(at);
    if (static_cast<size_t>(end - at) > nameLength && strncmp(at, name, nameLength) == 0 &&
        at[nameLength] == '=') {
      return static_cast<SQLRETURN>(atoi(at + nameLength + 1));
    }
    at = *end == ',' ? end + 1 : end;
  }
  return fallback;
}

// Handles are addresses in this block, never dereferenced by anyone.
char g_handles[256];
unsigned g_nextHandle;

SQLHANDLE NewHandle() { return &g_handles[g_nextHandle++ % sizeof g_handles]; }

void WriteText(SQLPOINTER buffer, SQLSMALLINT capacity, SQLSMALLINT* length, const char* text) {
  const size_t size = strlen(text);
  if (buffer != nullptr && capacity > 0) {
    const size_t copied = size < static_cast<size_t>(capacity) - 1 ? size : static_cast<size_t>(capacity) - 1;
    memcpy(buffer, text, copied);
    static_cast<char*>(buffer)[copied] = '\0';
  }
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(size);
}

void WriteWideText(SQLPOINTER buffer, SQLSMALLINT capacity, SQLSMALLINT* length, const char* text) {
  const size_t size = strlen(text);
  const size_t slots = capacity > 0 ? static_cast<size_t>(capacity) / sizeof(SQLWCHAR) : 0;
  if (buffer != nullptr && slots > 0) {
    auto* out = static_cast<SQLWCHAR*>(buffer);
    const size_t copied = size < slots - 1 ? size : slots - 1;
    for (size_t i = 0; i < copied; ++i) out[i] = static_cast<SQLWCHAR>(text[i]);
    out[copied] = 0;
  }
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(size * sizeof(SQLWCHAR));
}

void ZeroInfo(SQLPOINTER buffer, SQLSMALLINT capacity, SQLSMALLINT* length) {
  if (buffer != nullptr && capacity > 0) memset(buffer, 0, static_cast<size_t>(capacity));
  if (length != nullptr) *length = 0;
}

// One tag type per entry lets a few entries answer in their own way.
#define STANDIN_TAG(Name, Params, Args) struct Tag_##Name {};
SARNVALE_RUNTIME_ENTRIES(STANDIN_TAG, STANDIN_TAG)
#undef STANDIN_TAG

// No diagnostics and no rows, whatever is asked.
template <class Tag>
constexpr bool kAnswersNoData =
    std::is_same_v<Tag, Tag_SQLGetDiagRec> || std::is_same_v<Tag, Tag_SQLGetDiagRecW> ||
    std::is_same_v<Tag, Tag_SQLGetDiagField> || std::is_same_v<Tag, Tag_SQLGetDiagFieldW> ||
    std::is_same_v<Tag, Tag_SQLError> || std::is_same_v<Tag, Tag_SQLErrorW> || std::is_same_v<Tag, Tag_SQLFetch> ||
    std::is_same_v<Tag, Tag_SQLFetchScroll> || std::is_same_v<Tag, Tag_SQLMoreResults>;

template <class Tag, class... A>
SQLRETURN Serve(Tag, A...) {
  return kAnswersNoData<Tag> ? SQL_NO_DATA : SQL_SUCCESS;
}

SQLRETURN Serve(Tag_SQLAllocHandle, SQLSMALLINT, SQLHANDLE, SQLHANDLE* output) {
  if (output != nullptr) *output = NewHandle();
  return SQL_SUCCESS;
}

// The driver managers ask for the driver's ODBC version; everything else is zero.
template <class Tag>
  requires std::is_same_v<Tag, Tag_SQLGetInfo> || std::is_same_v<Tag, Tag_SQLGetInfoW>
SQLRETURN Serve(Tag, SQLHDBC, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity, SQLSMALLINT* length) {
  if (type != SQL_DRIVER_ODBC_VER) {
    ZeroInfo(value, capacity, length);
  } else if constexpr (std::is_same_v<Tag, Tag_SQLGetInfo>) {
    WriteText(value, capacity, length, "03.52");
  } else {
    WriteWideText(value, capacity, length, "03.52");
  }
  return SQL_SUCCESS;
}

SQLRETURN Serve(Tag_SQLNumResultCols, SQLHSTMT, SQLSMALLINT* count) {
  if (count != nullptr) *count = 0;
  return SQL_SUCCESS;
}

SQLRETURN Serve(Tag_SQLRowCount, SQLHSTMT, SQLLEN* count) {
  if (count != nullptr) *count = 0;
  return SQL_SUCCESS;
}

}  // namespace

#define STANDIN_ENTRY(Name, Params, Args)                                                     \
  extern "C" SQLRETURN RT_##Name(const char* driverPath, STANDIN_UNPAREN Params) {           \
    Record(#Name, driverPath, STANDIN_UNPAREN Args);                                          \
    const SQLRETURN served = Passive() ? SQL_SUCCESS : Serve(Tag_##Name{}, STANDIN_UNPAREN Args); \
    return Scripted(#Name, served);                                                           \
  }
SARNVALE_RUNTIME_ENTRIES(STANDIN_ENTRY, STANDIN_ENTRY)

// Read by the driver's version probe: the first word is the major version.
extern "C" const void* RT_Version() {
  static const int32_t kVersion[2] = {6, 0};
  return kVersion;
}
