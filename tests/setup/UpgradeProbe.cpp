// Runs the data-source upgrade of one manager from a given older driver name,
// then checks that the manager's installer stays cached:
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
  // The manager's installer is chosen once and then handed out again.
  if (ODBCINST::CreateInstance(manager) != inst) std::printf("installer chosen again\n");
  return 0;
}
