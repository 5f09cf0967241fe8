#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "Driver.h"

namespace sarnvale {

namespace {

struct LogState {
  char logSetting[kTextCapacity];
  const char* setting;  // null until the switch has been read
};

LogState g_log;

constexpr int kLogPriority = LOG_USER | LOG_INFO;  // 14

// The switch is read once, at the first log point, and never again.
bool LoggingOn() {
  if (g_log.setting == nullptr) {
    const char* value = getenv("ENABLE_ORVEX_LOG");
    snprintf(g_log.logSetting, sizeof g_log.logSetting, "%s", value != nullptr ? value : "");
    g_log.setting = g_log.logSetting;
  }
  return g_log.setting[0] != '\0';
}

}  // namespace

void LogLine(const char* format, ...) {
  if (!LoggingOn()) return;
  va_list toSyslog;
  va_list toStdout;
  va_start(toSyslog, format);
  va_copy(toStdout, toSyslog);
  vsyslog(kLogPriority, format, toSyslog);
  vprintf(format, toStdout);
  putchar('\n');
  va_end(toStdout);
  va_end(toSyslog);
}

__attribute__((constructor)) void g_init() { LogLine("Driver.g_init()"); }

__attribute__((destructor)) void g_fini() { LogLine("Driver.g_fini()"); }

}  // namespace sarnvale
