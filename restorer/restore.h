// Takes an installation back to the first part's archives and sounds. Saves
// are not touched; nothing is read, and the one message, printed on `con`, is
// that another copy is running. Returns the exit status.
#pragma once

#include <cstdio>

int RunRestore(FILE* con);
