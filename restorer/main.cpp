#include <cstdio>

#include "fileset.h"
#include "restore.h"
#include "run.h"

int main() {
  if (!StartRun(kRestorer, stdout)) return EndRun(1, nullptr);
  return EndRun(RunRestore(stdout), "QVR Part1 is in place.\n");
}
