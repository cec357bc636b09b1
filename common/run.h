// The start and the end that both programs' runs share, and the checks both
// make before they change anything.
#pragma once

#include <cstdio>

#include "fileset.h"
#include "fs.h"

// One run of either program: where it talks to the player and reads the
// player's keys, how it waits out other programs' holds, and the save
// folder's lock while it holds it.
struct Run {
  FILE* con;
  FILE* keys;
  Patience patience;
  Lock lock;
};

// Starts a run of `program` from the working folder: checks that it is a save
// folder, with the game's DATA folder beside it, then takes the folder's lock
// into run.lock. Returns false, having said why on run.con, when the run must
// not go on; nothing is changed then, and no lock file is made outside a
// save folder.
bool StartRun(const char* program, Run& run);

// What the player must hear when `program` may not rename or delete `name`,
// by its cause: held by another program, not the player's to change, or on a
// write-protected disk. Nothing said for any other cause.
Said Refusal(Fault why, const char* name, const char* program);

// Before any change: what keeps `program` from making names in `folders` and
// renaming or deleting `names` (lists ending with null): another program's
// hold (waited out as `p` says), then a folder or name the player may not
// change. Nothing said when nothing does.
Said Untouchable(const char* program, const char* const* folders, const char* const* names,
                 Patience& p);

// Ends a program's run. In a double-clicked window, which closes with the
// program, it waits for Enter so the last message can be read: after a
// failure (nonzero `status`), or after success, saying `done` first (with
// `done` null, a success has already had the player's key). The lock is
// dropped before the wait. Returns `status`.
int EndRun(int status, const char* done, Run& run);
