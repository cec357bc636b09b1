#include <cstdio>

#include "console.h"
#include "fileset.h"
#include "fs.h"
#include "restore.h"

int main() {
  // Outside a save folder there is nothing to restore, and no lock file to leave.
  if (const char* wrong = NotInSaveFolder()) {
    std::fputs(wrong, stdout);
    return EndRun(1);
  }
  // Held until the process ends.
  if (TakeLock(kLockFile) == kLockBusy) {
    std::fputs(kBusy, stdout);
    return EndRun(1);
  }
  return EndRun(RunRestore(stdout));
}
