// Takes an installation back to the first part's archives and sounds. Saves
// are not touched and nothing is read. Silent when it put everything back or
// had nothing to put back; otherwise it says on `con` why it stopped or what
// is still moved aside. Returns the exit status.
#pragma once

#include <cstdio>

int RunRestore(FILE* con);
