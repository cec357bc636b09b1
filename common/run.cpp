#include "run.h"

#include "console.h"

static constexpr const char* kNoData =
    "Can't find the DATA folder.\nStart %s in the game's save folder.\n";

bool StartRun(const char* program, Run& run) {
  // A DATA folder on another disk, linked here, is the game's too.
  Kind data = What(kDataFolder).kind;
  if (data != kFolder && data != kLink) {
    std::fprintf(run.con, kNoData, program);
    return false;
  }
  // Without a lock file (a read-only folder) the run goes on unguarded.
  if (TakeLock(kLockFile, &run.lock) == kHeld) {
    std::fputs(kBusy, run.con);
    return false;
  }
  return true;
}

// The running game holds its archives and sounds, a save editor or sync
// client the saves; a game under Program Files, run without administrator
// rights, refuses every change. Found only at the change, either would leave
// a half-swapped game.
Said Untouchable(const char* program, const char* const* folders, const char* const* names,
                 Patience& p) {
  for (const char* const* n = names; *n; n++)
    if (InUse(*n, p)) return Refusal(kHeld, *n, program);
  for (const char* const* f = folders; *f; f++)
    if (Fault why = Writable(*f); why != kOk)
      return Refusal(why == kProtected ? why : kDenied, *f, program);
  for (const char* const* n = names; *n; n++)
    if (!MayChange(*n)) return Refusal(kDenied, *n, program);
  return Say(nullptr);
}

Said Refusal(Fault why, const char* name, const char* program) {
  if (why == kHeld) return Say(kInUse, FileName(name), program);
  if (why == kProtected) return Say(kReadOnlyDisk, program);
  return Say(why == kDenied ? kCantWrite : nullptr, program);
}

int EndRun(int status, const char* done, Run& run) {
  if (!AloneInOwnWindow() || (status == 0 && !done)) return status;
  DropLock(&run.lock);
  if (status == 0) std::fputs(done, run.con);
  HoldWindow(run.con, run.keys);
  return status;
}
