#include <cstdio>

#include "fileset.h"
#include "restore.h"
#include "run.h"

int main() {
  Run run = {stdout, stdin, {}, {}};
  if (!StartRun(kRestorer, run)) return EndRun(1, nullptr, run);
  return EndRun(RunRestore(run), "QVR Part1 is in place.\n", run);
}
