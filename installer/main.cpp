#include <cstdio>

#include "fileset.h"
#include "install.h"
#include "run.h"

int main() {
  Run run = {stdout, stdin, {}, {}};
  if (!StartRun(kInstaller, run)) return EndRun(1, nullptr, run);
  bool installed = false;
  int status = RunInstall(run, &installed);
  return EndRun(status, installed ? "QVR Part2 is installed.\n" : nullptr, run);
}
