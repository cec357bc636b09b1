// Takes an installation back to the first part's archives and sounds. Saves
// are not touched and nothing is read. Silent when it put everything back or
// had nothing to put back; otherwise it says on `con` why it stopped or what
// is still moved aside. Returns the exit status.
#pragma once

#include "run.h"

// The restore, run from the save folder by a caller that has started the run
// (StartRun); what it says goes to run.con.
int RunRestore(Run& run);
