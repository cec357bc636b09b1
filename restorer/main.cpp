#include "restore.h"

int main() {
  RunRestore();
  return 0;
}
