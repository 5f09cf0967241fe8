#include "ODBCINST.h"

#include <dlfcn.h>

namespace {

template <typename Fn>
bool Resolve(void* library, const char* name, Fn& slot) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) return false;
  slot = reinterpret_cast<Fn>(symbol);
  return true;
}

}  // namespace

ODBCINST ODBCINST::IODBC_CANDIDATES[2] = {ODBCINST("libiodbcinst.so.2"), ODBCINST("libiodbcinst.so")};
ODBCINST ODBCINST::UODBC_CANDIDATES[2] = {ODBCINST("libodbcinst.so.2"), ODBCINST("libodbcinst.so")};
ODBCINST* ODBCINST::IODBC = nullptr;
ODBCINST* ODBCINST::UODBC = nullptr;

ODBCINST::~ODBCINST() {
  if (library_ != nullptr) dlclose(library_);
  library_ = nullptr;
}

ODBCINST* ODBCINST::CreateInstance(int managerType) {
  ODBCINST** cache = nullptr;
  ODBCINST* candidates = nullptr;
  if (managerType == IODBC_MANAGER) {
    cache = &IODBC;
    candidates = IODBC_CANDIDATES;
  } else if (managerType == UODBC_MANAGER) {
    cache = &UODBC;
    candidates = UODBC_CANDIDATES;
  } else {
    return nullptr;
  }
  if (*cache != nullptr) return *cache;
  for (int i = 0; i < 2; ++i) {
    if (candidates[i].Init() == 0) {
      *cache = &candidates[i];
      break;
    }
  }
  return *cache;
}

int ODBCINST::Init() {
  // The last pointer is resolved only when all before it were.
  if (library_ != nullptr) return getPrivateProfileString_ != nullptr ? 0 : -1;
  library_ = dlopen(libraryFileName_, RTLD_NOW);
  if (library_ == nullptr) return -1;
  bool complete = Resolve(library_, "SQLGetConfigMode", getConfigMode_) &&
                  Resolve(library_, "SQLSetConfigMode", setConfigMode_) &&
                  Resolve(library_, "SQLRemoveDSNFromIni", removeDSNFromIni_) &&
                  Resolve(library_, "SQLWriteDSNToIni", writeDSNToIni_) &&
                  Resolve(library_, "SQLRemoveDriver", removeDriver_) &&
                  Resolve(library_, "SQLInstallerError", installerError_) &&
                  Resolve(library_, "SQLInstallDriverEx", installDriverEx_) &&
                  Resolve(library_, "SQLWritePrivateProfileString", writePrivateProfileString_) &&
                  Resolve(library_, "SQLGetPrivateProfileString", getPrivateProfileString_);
  return complete ? 0 : -1;
}

int ODBCINST::MarkMode() { return SQLGetConfigMode(&savedMode_) != 0 ? 1 : 0; }

int ODBCINST::SetMode(int mode) {
  uint16_t wanted = static_cast<uint16_t>(mode);
  if (SQLSetConfigMode(wanted) == 0) return 0;
  currentMode_ = wanted;
  return 1;
}

int ODBCINST::ResetMode() {
  if (SQLSetConfigMode(savedMode_) == 0) return 0;
  currentMode_ = savedMode_;
  return 1;
}

void ODBCINST::GetError(uint32_t** code, char** message) {
  // An installer with nothing to report leaves both untouched; a stale
  // message from an earlier failure must not be shown again.
  errorCode_ = 0;
  errorMessage_[0] = '\0';
  SQLInstallerError(1, &errorCode_, errorMessage_, kMessageSize, nullptr);
  errorMessage_[kMessageSize - 1] = '\0';
  *code = &errorCode_;
  *message = errorMessage_;
}

bool ODBCINST::ApplyCurrentMode() { return SQLSetConfigMode(currentMode_) != 0; }

int ODBCINST::SQLRemoveDSNFromIni(const char* dsn) {
  if (!ApplyCurrentMode()) return 0;
  return removeDSNFromIni_(dsn);
}

int ODBCINST::SQLWriteDSNToIni(const char* dsn, const char* driver) {
  if (!ApplyCurrentMode()) return 0;
  return writeDSNToIni_(dsn, driver);
}

int ODBCINST::SQLRemoveDriver(const char* driver, int removeDsns, uint32_t* usageCount) {
  if (!ApplyCurrentMode()) return 0;
  return removeDriver_(driver, removeDsns, usageCount);
}

int ODBCINST::SQLInstallDriverEx(const char* attributes, const char* pathIn, char* pathOut, uint16_t pathOutMax,
                                 uint16_t* pathOutLength, uint16_t request, uint32_t* usageCount) {
  if (!ApplyCurrentMode()) return 0;
  return installDriverEx_(attributes, pathIn, pathOut, pathOutMax, pathOutLength, request, usageCount);
}

int ODBCINST::SQLWritePrivateProfileString(const char* section, const char* entry, const char* value,
                                           const char* fileName) {
  if (!ApplyCurrentMode()) return 0;
  return writePrivateProfileString_(section, entry, value, fileName);
}

int ODBCINST::SQLGetPrivateProfileString(const char* section, const char* entry, const char* defaultValue,
                                         char* buffer, int bufferSize, const char* fileName) {
  if (!ApplyCurrentMode()) return 0;
  return getPrivateProfileString_(section, entry, defaultValue, buffer, bufferSize, fileName);
}

int ODBCINST::SQLGetConfigMode(uint16_t* mode) { return getConfigMode_(mode); }

int ODBCINST::SQLSetConfigMode(uint16_t mode) { return setConfigMode_(mode); }

int ODBCINST::SQLInstallerError(uint16_t errorNumber, uint32_t* code, char* message, uint16_t messageMax,
                                uint16_t* messageLength) {
  return installerError_(errorNumber, code, message, messageMax, messageLength);
}
