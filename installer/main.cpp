#include <cstdio>

#include "fileset.h"
#include "install.h"
#include "run.h"

int main() {
  if (!StartRun(kInstaller, stdout)) return EndRun(1, nullptr);
  bool installed = false;
  int status = RunInstall(stdout, stdin, &installed);
  return EndRun(status, installed ? "QVR Part2 is installed.\n" : nullptr);
}
