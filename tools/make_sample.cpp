// Writes a synthetic installation for trying the two programs out.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sample.h"

static const char kUsage[] =
    "usage: make_sample FOLDER [--unfinished]\n"
    "Writes a generated installation (no real game data, about 130 MB) into FOLDER,\n"
    "which must be new or empty, and prints its save folder.\n"
    "  --unfinished  the player's save shows the first part as not completed\n";

static int Usage(const char* problem, const char* what) {
  std::fprintf(stderr, "make_sample: %s%s\n%s", problem, what, kUsage);
  return 2;
}

int main(int argc, char** argv) {
  const char* folder = nullptr;
  sample::Options options;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(a, "--unfinished") == 0)
      options.save.flag = 0x45;
    else if (a[0] == '-')
      return Usage("unknown option ", a);
    else if (folder)
      return Usage("more than one folder: ", a);
    else
      folder = a;
  }
  if (!folder) return Usage("no folder given", "");
  // Never write into somebody's files: only a new or empty folder will do.
  std::error_code ec;
  std::filesystem::file_status st = std::filesystem::status(folder, ec);
  if (std::filesystem::exists(st) &&
      !(std::filesystem::is_directory(st) && std::filesystem::is_empty(folder, ec) && !ec))
    return Usage("not a new or empty folder: ", folder);

  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "make_sample: cannot create %s: %s\n", folder, ec.message().c_str());
    return 2;
  }
  std::string saves = sample::WriteInstallation(folder, options);
  if (saves.empty()) {
    std::fprintf(stderr, "make_sample: could not write the installation in %s\n", folder);
    return 1;
  }
  std::printf("%s\n", saves.c_str());
  return 0;
}
