// Windows only, inside the platform layer: the programs' own names, narrow
// and relative to the save folder, as the wide names that Windows' ...W calls
// take. The names the player's folders hold are listed and opened as wide
// names throughout, so that any alphabet works whatever the code page.
#pragma once

#ifdef _WIN32
#include <windows.h>

// The longest path Windows takes, in characters: a name found below a sound
// folder may come near it.
inline constexpr int kLongPath = 32768;

// One of the programs' own names, UTF-8 (ASCII in practice), widened.
struct Wide {
  wchar_t s[1024];
};

// `path` widened; an empty name, which every call refuses, when it is not
// UTF-8 or does not fit.
inline Wide Widen(const char* path) {
  Wide w;
  if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, w.s, 1024)) w.s[0] = L'\0';
  return w;
}
#endif
