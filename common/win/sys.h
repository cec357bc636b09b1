// Windows only, inside the platform layer: the one table from the system's
// errors to Fault, and the programs' own names as the wide names that the
// ...W calls take. Names the player's folders hold are listed and opened as
// wide names throughout, so that any alphabet works whatever the code page.
#pragma once

#include <windows.h>

#include "fs.h"

inline Fault FaultOf(DWORD err) {
  static const struct {
    DWORD err;
    Fault fault;
  } kTable[] = {{ERROR_SUCCESS, kOk},
                {ERROR_FILE_EXISTS, kTaken},
                {ERROR_ALREADY_EXISTS, kTaken},
                {ERROR_FILE_NOT_FOUND, kGone},
                {ERROR_PATH_NOT_FOUND, kGone},
                {ERROR_SHARING_VIOLATION, kHeld},
                {ERROR_LOCK_VIOLATION, kHeld},
                {ERROR_ACCESS_DENIED, kDenied},
                {ERROR_WRITE_PROTECT, kProtected},
                {ERROR_INVALID_FUNCTION, kUnsupported},
                {ERROR_INVALID_PARAMETER, kUnsupported}};
  for (const auto& row : kTable)
    if (row.err == err) return row.fault;
  return kFailed;
}

// The longest path Windows takes, in characters: a name found below a sound
// folder may come near it.
inline constexpr int kLongPath = 32768;

// One of the programs' own names, UTF-8 (ASCII in practice), widened; false,
// and no name at all, when it is not UTF-8 or does not fit.
struct Wide {
  wchar_t s[1024];
};
inline bool Widen(const char* path, Wide& w) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, w.s, 1024) != 0;
}

// Whether another program holds `path`, or anything below the folder `path`,
// now: InUse without the wait.
bool HeldNow(const char* path);

// A symbolic link or a junction, told by its reparse tag from every other
// reparse point (a cloud client's placeholder is a plain file or folder).
// Windows gives every reparse point its tag; Wine gives none, and shows only
// Unix links as reparse points.
inline bool IsLink(DWORD attr, DWORD tag) {
  return (attr & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (tag == 0 || tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT);
}
