#include "run.h"

#include "console.h"
#include "disk.h"
#include "fileset.h"

static constexpr const char* kNoData =
    "Can't find the DATA folder.\nStart %s in the game's save folder.\n";

bool StartRun(const char* program, Run& run) {
  if (!IsFolder(kDataFolder)) {
    std::fprintf(run.con, kNoData, program);
    return false;
  }
  // Without a lock file (a read-only folder) the run goes on unguarded.
  if (TakeLock(kLockFile, &run.lock) == kLockBusy) {
    std::fputs(kBusy, run.con);
    return false;
  }
  return true;
}

int EndRun(int status, const char* done, Run& run) {
  if (!AloneInOwnWindow() || (status == 0 && !done)) return status;
  DropLock(&run.lock);
  if (status == 0) std::fputs(done, run.con);
  HoldWindow(run.con, run.keys);
  return status;
}
