#include <cstdio>

#include "restore.h"

int main() {
  return RunRestore(stdout);
}
