#include <cstdio>

#include "install.h"
#include "run.h"

int main() {
  if (!StartRun("QVRPt2Installer_mod", stdout)) return EndRun(1);
  return EndRun(RunInstall(stdout, stdin));
}
