#include <cstdio>

#include "install.h"

int main() {
  return RunInstall(stdout, stdin);
}
