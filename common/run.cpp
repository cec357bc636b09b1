#include "run.h"

#include "console.h"
#include "fileset.h"
#include "fs.h"

static constexpr const char* kNoData =
    "Can't find the DATA folder.\nStart %s in the game's save folder.\n";

bool StartRun(const char* program, FILE* con) {
  if (!IsFolder(kDataFolder)) {
    std::fprintf(con, kNoData, program);
    return false;
  }
  // Without a lock file (a read-only folder) the run goes on unguarded.
  if (TakeLock(kLockFile) == kLockBusy) {
    std::fputs(kBusy, con);
    return false;
  }
  return true;
}

int EndRun(int status, const char* done) {
  if (!AloneInOwnWindow() || (status == 0 && !done)) return status;
  DropLock();
  if (status == 0) std::fputs(done, stdout);
  HoldWindow(stdout, stdin);
  return status;
}
