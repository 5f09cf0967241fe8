// Loads a driver library and runs a list of steps against it, one process per
// run, so each run starts from a freshly loaded driver and a fresh loader state.
//
//   driver_host <driver.so> <step>...
// Steps: env | allocenv (allocate an environment through SQLAllocHandle or
// SQLAllocEnv), free | freeenv (free the newest one through SQLFreeHandle or
// SQLFreeEnv), connect (SQLConnect on a null handle), maps (list the runtime
// files mapped into the process), set:NAME=VALUE, unset:NAME.
// Every host line starts with '@' to tell it from the driver's log lines.
// The host also stands in for the system log: what the driver sends there is
// printed as "@syslog <priority> <text>" instead.
#include <dlfcn.h>

#include <cstdarg>

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../DriverTestKit.h"

// Exported from the program, these come before the C library's in the
// driver's symbol lookup.
extern "C" void vsyslog(int priority, const char* format, va_list args) {
  char text[2048];
  vsnprintf(text, sizeof text, format, args);
  printf("@syslog %d %s\n", priority, text);
}

extern "C" void __vsyslog_chk(int priority, int /*flag*/, const char* format, va_list args) {
  vsyslog(priority, format, args);
}

namespace {

template <class F>
F Export(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) {
    printf("@missing export %s\n", name);
    exit(2);
  }
  return reinterpret_cast<F>(symbol);
}

struct Host {
  void* driver;
  std::vector<SQLHENV> environments;
};

void AllocEnv(Host& host, bool odbc2) {
  SQLHENV env = SQL_NULL_HENV;
  SQLRETURN rc = odbc2 ? Export<decltype(&SQLAllocEnv)>(host.driver, "SQLAllocEnv")(&env)
                       : Export<decltype(&SQLAllocHandle)>(host.driver, "SQLAllocHandle")(SQL_HANDLE_ENV,
                                                                                          SQL_NULL_HANDLE, &env);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) host.environments.push_back(env);
  printf("@env %d\n", rc);
}

void FreeEnv(Host& host, bool odbc2) {
  SQLHENV env = host.environments.empty() ? SQL_NULL_HENV : host.environments.back();
  SQLRETURN rc = odbc2 ? Export<decltype(&SQLFreeEnv)>(host.driver, "SQLFreeEnv")(env)
                       : Export<decltype(&SQLFreeHandle)>(host.driver, "SQLFreeHandle")(SQL_HANDLE_ENV, env);
  if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && !host.environments.empty()) {
    host.environments.pop_back();
  }
  printf("@free %d\n", rc);
}

void Connect(Host& host) {
  SQLCHAR dsn[] = "standin";
  SQLRETURN rc = Export<decltype(&SQLConnect)>(host.driver, "SQLConnect")(SQL_NULL_HDBC, dsn, SQL_NTS, nullptr, 0,
                                                                          nullptr, 0);
  printf("@connect %d\n", rc);
}

void Maps() {
  printf("@maps begin\n");
  for (const std::string& file : drivertest::MappedRuntimeFiles()) printf("@mapped %s\n", file.c_str());
  printf("@maps end\n");
}

void SetVariable(const std::string& assignment) {
  const size_t equals = assignment.find('=');
  if (equals != std::string::npos) setenv(assignment.substr(0, equals).c_str(), assignment.c_str() + equals + 1, 1);
}

bool RunStep(Host& host, const std::string& step) {
  if (step == "env") AllocEnv(host, false);
  else if (step == "allocenv") AllocEnv(host, true);
  else if (step == "free") FreeEnv(host, false);
  else if (step == "freeenv") FreeEnv(host, true);
  else if (step == "connect") Connect(host);
  else if (step == "maps") Maps();
  else if (step.rfind("set:", 0) == 0) SetVariable(step.substr(4));
  else if (step.rfind("unset:", 0) == 0) unsetenv(step.c_str() + 6);
  else return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s <driver.so> <step>...\n", argv[0]);
    return 2;
  }
  Host host{dlopen(argv[1], RTLD_NOW | RTLD_LOCAL), {}};
  if (host.driver == nullptr) {
    printf("@load failed %s\n", dlerror());
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    if (!RunStep(host, argv[i])) {
      printf("@unknown step %s\n", argv[i]);
      return 2;
    }
  }
  fflush(stdout);
  return 0;
}
