#include "ODBCUtils.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "ODBCINST.h"

const char* REQUIRED_PRPS[13] = {
    "Azure Tenant", "",
    "Password", "",
    "Schema", "SOAP",
    "Share Point Edition", "SharePoint OnPremise",
    "URL", "",
    "User", "",
    nullptr,
};

namespace {

constexpr char kDriverName[] = "Orvex ODBC Driver for SharePoint";
constexpr char kDescriptionAttribute[] = "Description=Orvex ODBC Driver for SharePoint 2020";
constexpr char kLibraryAttributeFormat[] = "Driver=%s/lib/%s";
constexpr char kLibraryFileName[] = "libsarnvale.x64.so";
constexpr char kLibraryPathFormat[] = "%s/lib/libsarnvale.x64.so";
constexpr char kSystemDsn[] = "Orvex SharePoint Sys";
constexpr char kUserDsn[] = "Orvex SharePoint Source";
constexpr char kDriversFile[] = "ODBCINST.INI";
constexpr char kDataSourcesFile[] = "ODBC.INI";
constexpr char kDataSourceList[] = "ODBC Data Sources";

constexpr int kUserMode = 1;
constexpr int kSystemMode = 2;
constexpr uint16_t kInstallComplete = 2;
constexpr int kBufferSize = 1024;

constexpr char kNoManagerMessage[] = "\nError:\nCannot find the 64bit %s Driver Manager installed on this machine.\n";
constexpr char kParameterCountMessage[] =
    "\nError:\nInvalid parameter count for the option '%s', it expects %d parameters.\n";
constexpr char kParameterValueMessage[] = "\nError:\nInvalid parameter value for the option '%s', it expects '%s'.\n";
constexpr char kMissingParameterMessage[] = "\nError:\nParameter '%s' need to be specified.\n";
constexpr char kLongParameterMessage[] =
    "\nError:\nParameter '%s' is too long, it allows at most %d characters.\n";
// Filled with the installer's code, the failed operation, the manager's name
// and the installer's message.
constexpr char kOperationFailedMessage[] = "\nError[%d]:\n%s failed for %s.\n%s\n";
constexpr char kInstallDriverOperation[] = "Install driver";
constexpr char kInstallDsnOperation[] = "Install DSN";
constexpr char kUninstallDriverOperation[] = "Uninstall driver";
constexpr char kUninstallDsnOperation[] = "Uninstall DSN";
constexpr char kModifyDriverOperation[] = "Modify driver";
constexpr char kModifyDsnOperation[] = "Modify DSN";
constexpr char kUpgradeDsnOperation[] = "Upgrade DSN";

struct Manager {
  ODBCINST* inst;
  const char* displayName;
  bool unixOdbc;
};

struct DataSource {
  const char* name;
  int mode;
};

constexpr DataSource kDataSources[] = {{kSystemDsn, kSystemMode}, {kUserDsn, kUserMode}};

struct UpgradeRow {
  int managerType;
  const char* displayName;
  const char* oldDriverName;
};

// Every registration this tool has shipped under so far carries the current
// name, so the table moves nothing yet.
constexpr UpgradeRow kUpgradeRows[] = {
    {ODBCINST::IODBC_MANAGER, "iODBC", kDriverName},
    {ODBCINST::IODBC_MANAGER, "iODBC", kDriverName},
    {ODBCINST::UODBC_MANAGER, "unixODBC", kDriverName},
    {ODBCINST::UODBC_MANAGER, "unixODBC", kDriverName},
};

// Attribute list: driver name, description, library, each NUL-terminated,
// then an empty string.
constexpr int kAttributeOverhead = static_cast<int>(sizeof kDriverName + sizeof kDescriptionAttribute +
                                                    sizeof "Driver=" - 1 + sizeof "/lib/" - 1 +
                                                    sizeof kLibraryFileName + 1);

// Asks for each manager's installer; when neither is installed, says so and
// returns false.
bool FindManagers(Manager (&managers)[2]) {
  managers[0] = {ODBCINST::CreateInstance(ODBCINST::IODBC_MANAGER), "iODBC", false};
  managers[1] = {ODBCINST::CreateInstance(ODBCINST::UODBC_MANAGER), "unixODBC", true};
  if (managers[0].inst != nullptr || managers[1].inst != nullptr) return true;
  std::printf(kNoManagerMessage, "iODBC or unixODBC");
  return false;
}

// Runs body with the installer in the given mode and puts the installer's
// own mode back afterwards.
template <typename Body>
void InMode(ODBCINST* inst, int mode, Body body) {
  inst->MarkMode();
  inst->SetMode(mode);
  body();
  inst->ResetMode();
}

template <typename Body>
void ForEachManager(Body body) {
  Manager managers[2];
  if (!FindManagers(managers)) return;
  for (const Manager& manager : managers) {
    if (manager.inst != nullptr) body(manager);
  }
}

void Check(int result, const Manager& manager, const char* operation) {
  if (result != 0) return;
  uint32_t* code = nullptr;
  char* message = nullptr;
  manager.inst->GetError(&code, &message);
  std::printf(kOperationFailedMessage, static_cast<int>(*code), operation, manager.displayName, message);
}

bool IsSet(int readResult, const char* value) { return readResult != 0 && value[0] != '\0'; }

// unixODBC never lists a data source in "ODBC Data Sources", so its own
// section counts as well; writing it again would reset its keys.
bool DataSourceExists(ODBCINST* inst, const char* dsn) {
  char value[kBufferSize] = "";
  if (IsSet(inst->SQLGetPrivateProfileString(kDataSourceList, dsn, "", value, kBufferSize, kDataSourcesFile), value))
    return true;
  value[0] = '\0';
  return IsSet(inst->SQLGetPrivateProfileString(dsn, "Driver", "", value, kBufferSize, kDataSourcesFile), value);
}

void InstallDataSource(const Manager& manager, const char* dsn) {
  ODBCINST* inst = manager.inst;
  if (DataSourceExists(inst, dsn)) return;
  Check(inst->SQLWriteDSNToIni(dsn, kDriverName), manager, kInstallDsnOperation);
  for (int i = 0; REQUIRED_PRPS[i] != nullptr; i += 2) {
    Check(inst->SQLWritePrivateProfileString(dsn, REQUIRED_PRPS[i], REQUIRED_PRPS[i + 1], kDataSourcesFile), manager,
          kInstallDsnOperation);
  }
}

// Runs body for the system source, then the user source, each in its mode.
template <typename Body>
void OnBothDataSources(const Manager& manager, Body body) {
  InMode(manager.inst, kSystemMode, [&] {
    body(kSystemDsn);
    manager.inst->SetMode(kUserMode);
    body(kUserDsn);
  });
}

bool ReadLibraryPath(ODBCINST* inst, const char* driver, char* path) {
  path[0] = '\0';
  if (inst->SQLGetPrivateProfileString(driver, "Driver64", "", path, kBufferSize, kDriversFile) > 0) return true;
  path[0] = '\0';
  return inst->SQLGetPrivateProfileString(driver, "Driver", "", path, kBufferSize, kDriversFile) > 0;
}

// Leaves the data source's "ODBC Data Sources" entry in value.
void PointListEntryAtDriver(const Manager& manager, const char* dsn, char* value) {
  value[0] = '\0';
  if (manager.inst->SQLGetPrivateProfileString(kDataSourceList, dsn, "", value, kBufferSize, kDataSourcesFile) > 0 &&
      std::strcmp(value, kDriverName) != 0) {
    Check(manager.inst->SQLWritePrivateProfileString(kDataSourceList, dsn, kDriverName, kDataSourcesFile), manager,
          kUpgradeDsnOperation);
  }
}

void UpgradeDataSource(const Manager& manager, const char* dsn, const char* oldDriverName, const char* oldPath,
                       const char* newPath) {
  ODBCINST* inst = manager.inst;
  char value[kBufferSize] = "";
  if (inst->SQLGetPrivateProfileString(dsn, "Driver", "", value, kBufferSize, kDataSourcesFile) <= 0) return;
  value[kBufferSize - 1] = '\0';
  auto pointAt = [&](const char* driver) {
    Check(inst->SQLWritePrivateProfileString(dsn, "Driver", driver, kDataSourcesFile), manager, kUpgradeDsnOperation);
    PointListEntryAtDriver(manager, dsn, value);
  };
  if (std::strncmp(value, oldPath, kBufferSize) == 0) pointAt(newPath);
  if (std::strcmp(value, oldDriverName) == 0) pointAt(kDriverName);
}

void UpgradeDataSources(const Manager& manager, const char* oldDriverName, const char* oldPath, const char* newPath) {
  constexpr int kModes[] = {kSystemMode, kUserMode};
  for (int mode : kModes) {
    manager.inst->SetMode(mode);
    char names[kBufferSize] = "";
    int length = manager.inst->SQLGetPrivateProfileString(nullptr, nullptr, "", names, kBufferSize, kDataSourcesFile);
    if (length <= 0) continue;
    names[kBufferSize - 1] = '\0';
    const char* end = names + (length < kBufferSize ? length : kBufferSize - 1);
    for (const char* name = names; name < end && *name != '\0'; name += std::strlen(name) + 1) {
      UpgradeDataSource(manager, name, oldDriverName, oldPath, newPath);
    }
  }
}

bool RefuseLongInstallPath(const char* installPath) {
  int limit = ODBCUtils::MaxInstallPathLength();
  if (std::strlen(installPath) <= static_cast<size_t>(limit)) return false;
  std::printf(kLongParameterMessage, "install_path", limit);
  return true;
}

bool ParameterCount(int argc, int needed, const char* option, int expected) {
  if (argc >= needed) return true;
  std::printf(kParameterCountMessage, option, expected);
  return false;
}

}  // namespace

int ODBCUtils::MaxInstallPathLength() { return kBufferSize - kAttributeOverhead; }

int ODBCUtils::Accept(int argc, const char** argv) {
  if (argc < 2) return 0;
  const char* option = argv[1];
  if (std::strcmp(option, "-p") == 0) {
    Upgrade();
    return 0;
  }
  bool install = std::strcmp(option, "-i") == 0;
  bool uninstall = std::strcmp(option, "-u") == 0;
  bool modify = std::strcmp(option, "-m") == 0;
  if (!install && !uninstall && !modify) return 0;
  if (!ParameterCount(argc, 3, option, 1)) return -1;
  bool driver = std::strcmp(argv[2], "-d") == 0;
  if (!driver && std::strcmp(argv[2], "-s") != 0) {
    std::printf(kParameterValueMessage, option, "\"-d\", \"-s\"");
    return -1;
  }
  if (install && driver) {
    if (!ParameterCount(argc, 4, "-i -d", 1)) return -1;
    if (argv[3] != nullptr && RefuseLongInstallPath(argv[3])) return -1;
    InstallDriver(argv[3]);
  } else if (install) {
    InstallDSN();
  } else if (uninstall) {
    driver ? UninstallDriver() : UninstallDSN();
  } else {
    if (!ParameterCount(argc, 5, driver ? "-m -d" : "-m -s", 2)) return -1;
    driver ? ModifyDriver(argv[3], argv[4]) : ModifyDSN(argv[3], argv[4]);
  }
  return 0;
}

void ODBCUtils::InstallDriver(const char* installPath) {
  if (installPath == nullptr || installPath[0] == '\0') {
    std::printf(kMissingParameterMessage, "install_path");
    return;
  }
  if (RefuseLongInstallPath(installPath)) return;
  char attributes[kBufferSize];
  int length = std::snprintf(attributes, kBufferSize, "%s%c%s%c", kDriverName, '\0', kDescriptionAttribute, '\0');
  length += std::snprintf(attributes + length, kBufferSize - length, kLibraryAttributeFormat, installPath,
                          kLibraryFileName);
  attributes[length + 1] = '\0';
  ForEachManager([&](const Manager& manager) {
    InMode(manager.inst, kSystemMode, [&] {
      char pathOut[kBufferSize] = "";
      Check(manager.inst->SQLInstallDriverEx(attributes, nullptr, pathOut, kBufferSize, nullptr, kInstallComplete,
                                             nullptr),
            manager, kInstallDriverOperation);
      // unixODBC picks the 64-bit library from a key of its own.
      if (!manager.unixOdbc) return;
      char library[kBufferSize];
      std::snprintf(library, kBufferSize, kLibraryPathFormat, installPath);
      Check(manager.inst->SQLWritePrivateProfileString(kDriverName, "Driver64", library, kDriversFile), manager,
            kInstallDriverOperation);
    });
  });
}

void ODBCUtils::InstallDSN() {
  ForEachManager([](const Manager& manager) {
    for (const DataSource& dsn : kDataSources) {
      InMode(manager.inst, dsn.mode, [&] { InstallDataSource(manager, dsn.name); });
    }
  });
}

void ODBCUtils::UninstallDriver() {
  ForEachManager([](const Manager& manager) {
    InMode(manager.inst, kSystemMode, [&] {
      uint32_t usageCount = 0;
      Check(manager.inst->SQLRemoveDriver(kDriverName, 0, &usageCount), manager, kUninstallDriverOperation);
    });
  });
}

void ODBCUtils::UninstallDSN() {
  ForEachManager([](const Manager& manager) {
    OnBothDataSources(manager, [&](const char* dsn) {
      Check(manager.inst->SQLRemoveDSNFromIni(dsn), manager, kUninstallDsnOperation);
    });
  });
}

void ODBCUtils::ModifyDriver(const char* key, const char* value) {
  ForEachManager([&](const Manager& manager) {
    InMode(manager.inst, kSystemMode, [&] {
      Check(manager.inst->SQLWritePrivateProfileString(kDriverName, key, value, kDriversFile), manager,
            kModifyDriverOperation);
    });
  });
}

void ODBCUtils::ModifyDSN(const char* key, const char* value) {
  ForEachManager([&](const Manager& manager) {
    OnBothDataSources(manager, [&](const char* dsn) {
      Check(manager.inst->SQLWritePrivateProfileString(dsn, key, value, kDataSourcesFile), manager,
            kModifyDsnOperation);
    });
  });
}

void ODBCUtils::Upgrade() {
  Manager managers[2];
  if (!FindManagers(managers)) return;
  for (const UpgradeRow& row : kUpgradeRows) {
    ODBCINST* inst = managers[row.managerType].inst;
    if (inst == nullptr || std::strcmp(row.oldDriverName, kDriverName) == 0) continue;
    UpgradeFrom(inst, row.displayName, row.oldDriverName);
  }
}

void ODBCUtils::UpgradeFrom(ODBCINST* inst, const char* displayName, const char* oldDriverName) {
  Manager manager{inst, displayName, inst == ODBCINST::UODBC};
  InMode(inst, kSystemMode, [&] {
    char newPath[kBufferSize];
    char oldPath[kBufferSize];
    if (!ReadLibraryPath(inst, kDriverName, newPath) || !ReadLibraryPath(inst, oldDriverName, oldPath)) return;
    UpgradeDataSources(manager, oldDriverName, oldPath, newPath);
    inst->SetMode(kSystemMode);
    uint32_t usageCount = 0;
    inst->SQLRemoveDriver(oldDriverName, 0, &usageCount);
  });
}
