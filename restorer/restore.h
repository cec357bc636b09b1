// Takes an installation back to the first part's archives and sounds. Saves
// are not touched and nothing is read. Silent when it put everything back or
// had nothing to put back; otherwise it says on `con` why it stopped or what
// is still moved aside. Returns the exit status.
#pragma once

#include <cstdio>

// Null when the working folder is a save folder, with the game's DATA folder
// beside it; otherwise the message that says so.
const char* NotInSaveFolder();

// The restore, run from the save folder by a caller that holds the folder's
// lock.
int RunRestore(FILE* con);
