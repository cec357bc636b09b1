#include "fs.h"

#include <cctype>
#include <cstddef>
#include <initializer_list>

static int Lower(char c) {
  return std::tolower(static_cast<unsigned char>(c));
}

bool LeftByExplorer(const char* name) {
  if (name[0] == '.' && name[1] == '_') return true;  // a Mac's note on a file beside it
  for (const char* made : {"desktop.ini", "Thumbs.db", ".DS_Store", "__MACOSX"}) {
    std::size_t i = 0;
    while (name[i] && Lower(name[i]) == Lower(made[i])) i++;
    if (!name[i] && !made[i]) return true;
  }
  return false;
}
