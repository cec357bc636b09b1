// The console window of a double-clicked program, which Windows closes as the
// program ends.
#pragma once

#include <cstdio>

// Whether a message must be held on screen before the program ends: only
// when it is the one process of its console (a double-click opened the
// window, which closes with it) and both its input and output are that
// console. A terminal, a pipe or a file never waits; POSIX never does.
bool AloneInOwnWindow();

// Asks for Enter on `con` and waits for it (or the end of `keys`).
void HoldWindow(FILE* con, FILE* keys);
