#pragma once
// Command line and operations of the setup tool; every operation runs for
// iODBC first and unixODBC second, whichever of them is installed.

class ODBCINST;

// Key/value pairs written into every new data source, ended by a null entry.
extern const char* REQUIRED_PRPS[13];

class ODBCUtils {
 public:
  static int Accept(int argc, const char** argv);

  static void InstallDriver(const char* installPath);
  static void InstallDSN();
  static void UninstallDriver();
  static void UninstallDSN();
  static void ModifyDriver(const char* key, const char* value);
  static void ModifyDSN(const char* key, const char* value);
  static void Upgrade();

  // Moves the data sources of one manager from an older driver registration
  // to the current one and removes the old registration.
  static void UpgradeFrom(ODBCINST* inst, const char* displayName, const char* oldDriverName);

  // Longest install path whose driver attributes fit the 1024-byte buffers.
  static int MaxInstallPathLength();
};
