#include <cstdio>

#include "fs.h"
#include "restore.h"

int main() {
  int status = RunRestore(stdout);
  // A double-clicked program's window would close with the message unread.
  if (status != 0 && AloneInOwnWindow()) HoldWindow(stdout, stdin);
  return status;
}
