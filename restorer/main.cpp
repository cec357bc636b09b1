#include <cstdio>

#include "restore.h"
#include "run.h"

int main() {
  if (!StartRun("Reinstall_QVRPt1", stdout)) return EndRun(1);
  return EndRun(RunRestore(stdout));
}
