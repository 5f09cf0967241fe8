#pragma once
// One driver manager's installer library, opened at run time so that the tool
// runs wherever either manager (or both, or neither) is installed.
#include <cstdint>

class ODBCINST {
 public:
  enum ODBC_MANAGER_TYPE { IODBC_MANAGER = 0, UODBC_MANAGER = 1 };

  explicit constexpr ODBCINST(const char* libraryFileName) : libraryFileName_(libraryFileName) {}
  ~ODBCINST();
  ODBCINST(const ODBCINST&) = delete;
  ODBCINST& operator=(const ODBCINST&) = delete;

  static ODBCINST* CreateInstance(int managerType);

  int Init();
  int MarkMode();
  int SetMode(int mode);
  int ResetMode();
  void GetError(uint32_t** code, char** message);

  // Each runs in the mode last set by SetMode/ResetMode; 0 when that mode
  // cannot be applied.
  int SQLRemoveDSNFromIni(const char* dsn);
  int SQLWriteDSNToIni(const char* dsn, const char* driver);
  int SQLRemoveDriver(const char* driver, int removeDsns, uint32_t* usageCount);
  int SQLInstallDriverEx(const char* attributes, const char* pathIn, char* pathOut, uint16_t pathOutMax,
                         uint16_t* pathOutLength, uint16_t request, uint32_t* usageCount);
  int SQLWritePrivateProfileString(const char* section, const char* entry, const char* value,
                                   const char* fileName);
  int SQLGetPrivateProfileString(const char* section, const char* entry, const char* defaultValue,
                                 char* buffer, int bufferSize, const char* fileName);

  int SQLGetConfigMode(uint16_t* mode);
  int SQLSetConfigMode(uint16_t mode);
  int SQLInstallerError(uint16_t errorNumber, uint32_t* code, char* message, uint16_t messageMax,
                        uint16_t* messageLength);

  static ODBCINST IODBC_CANDIDATES[2];
  static ODBCINST UODBC_CANDIDATES[2];
  static ODBCINST* IODBC;
  static ODBCINST* UODBC;

 private:
  using GetConfigModeFn = int (*)(uint16_t*);
  using SetConfigModeFn = int (*)(uint16_t);
  using RemoveDSNFromIniFn = int (*)(const char*);
  using WriteDSNToIniFn = int (*)(const char*, const char*);
  using RemoveDriverFn = int (*)(const char*, int, uint32_t*);
  using InstallDriverExFn = int (*)(const char*, const char*, char*, uint16_t, uint16_t*, uint16_t, uint32_t*);
  using InstallerErrorFn = int16_t (*)(uint16_t, uint32_t*, char*, uint16_t, uint16_t*);
  using WritePrivateProfileStringFn = int (*)(const char*, const char*, const char*, const char*);
  using GetPrivateProfileStringFn = int (*)(const char*, const char*, const char*, char*, int, const char*);

  static constexpr int kMessageSize = 1024;

  bool ApplyCurrentMode();

  const char* libraryFileName_;
  void* library_ = nullptr;
  uint16_t savedMode_ = 0;
  uint16_t currentMode_ = 0;
  uint32_t errorCode_ = 0;
  char errorMessage_[kMessageSize] = {};
  GetConfigModeFn getConfigMode_ = nullptr;
  SetConfigModeFn setConfigMode_ = nullptr;
  RemoveDSNFromIniFn removeDSNFromIni_ = nullptr;
  WriteDSNToIniFn writeDSNToIni_ = nullptr;
  RemoveDriverFn removeDriver_ = nullptr;
  InstallDriverExFn installDriverEx_ = nullptr;
  InstallerErrorFn installerError_ = nullptr;
  WritePrivateProfileStringFn writePrivateProfileString_ = nullptr;
  GetPrivateProfileStringFn getPrivateProfileString_ = nullptr;
};
