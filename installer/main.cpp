#include <cstdio>

#include "console.h"
#include "fileset.h"
#include "fs.h"
#include "install.h"

int main() {
  // Held until the process ends; without a lock file (a read-only folder)
  // the run goes on unguarded.
  if (TakeLock(kLockFile) == kLockBusy) {
    std::fputs(kBusy, stdout);
    return EndRun(1);
  }
  return EndRun(RunInstall(stdout, stdin));
}
