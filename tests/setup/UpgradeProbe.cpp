// Runs the data-source upgrade of one manager from a given older driver name:
// upgrade_probe <0 iODBC | 1 unixODBC> <old driver name>
#include <cstdio>
#include <cstdlib>

#include "ODBCINST.h"
#include "ODBCUtils.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  int manager = std::atoi(argv[1]);
  ODBCINST* inst = ODBCINST::CreateInstance(manager);
  if (inst == nullptr) {
    std::printf("no installer\n");
    return 1;
  }
  ODBCUtils::UpgradeFrom(inst, manager == 0 ? "iODBC" : "unixODBC", argv[2]);
  return 0;
}
