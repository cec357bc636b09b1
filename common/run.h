// The start and the end that both programs' runs share.
#pragma once

#include <cstdio>

// Starts a run of `program` from the working folder: checks that it is a save
// folder, with the game's DATA folder beside it, then takes the folder's lock
// for the rest of the process. Returns false, having said why on `con`, when
// the run must not go on; nothing is changed then, and no lock file is made
// outside a save folder.
bool StartRun(const char* program, FILE* con);

// Ends a program's run. In a double-clicked window, which closes with the
// program, it waits for Enter so the last message can be read: after a
// failure (nonzero `status`), or after success, saying `done` first (with
// `done` null, a success has already had the player's key). The lock is
// dropped before the wait. Returns `status`.
int EndRun(int status, const char* done);
