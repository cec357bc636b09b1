#include <cstdio>

#include "fs.h"
#include "install.h"

int main() {
  int status = RunInstall(stdout, stdin);
  // A double-clicked program's window would close with the message unread.
  if (status != 0 && AloneInOwnWindow()) HoldWindow(stdout, stdin);
  return status;
}
