// Writes a synthetic installation for trying the two programs out:
//   make_sample FOLDER [--unfinished]
// With --unfinished the player's save shows the first part as not completed.
#include <cstdio>
#include <cstring>

#include "sample.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--unfinished") != 0)) {
    std::fprintf(stderr, "usage: make_sample FOLDER [--unfinished]\n");
    return 2;
  }
  sample::Options options;
  if (argc == 3) options.save.flag = 0x45;
  std::string saves = sample::WriteInstallation(argv[1], options);
  if (saves.empty()) {
    std::fprintf(stderr, "make_sample: could not write the installation in %s\n", argv[1]);
    return 1;
  }
  std::printf("%s\n", saves.c_str());
  return 0;
}
