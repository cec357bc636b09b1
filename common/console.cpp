#include "console.h"

#ifdef _WIN32
#include <windows.h>
#endif

void HoldWindow(FILE* con, FILE* keys) {
  std::fputs("Press Enter to close this window.\n", con);
  std::fflush(con);
  for (int c = 0; c != '\n' && c != EOF;) c = std::fgetc(keys);
}

#ifdef _WIN32

static bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool AloneInOwnWindow() {
  DWORD ids[2];
  return GetConsoleProcessList(ids, 2) == 1 && IsConsole(STD_INPUT_HANDLE) &&
         IsConsole(STD_OUTPUT_HANDLE);
}

#else

bool AloneInOwnWindow() {
  return false;
}

#endif
