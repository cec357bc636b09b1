// What the programs ask of the disk before they change anything, with the
// same answers on Windows and POSIX: what a name is, whether another program
// holds it, whether a folder may be changed, what it holds, its free space.
#pragma once

#include <cstdint>

#include "wait.h"

// True when `path` names an existing regular file (not a folder); its size
// goes to `size` when given.
bool IsFile(const char* path, std::uint64_t* size = nullptr);

// True when the system shows a file or folder named `path`. A name that
// cannot be looked at (a folder on the way that cannot be searched, or that
// is a file) counts as absent, on every platform.
bool Exists(const char* path);

// True when `path` names an existing folder.
bool IsFolder(const char* path);

// How many names the folder `path` holds, besides "." and ".." and the
// files that Windows Explorer and macOS leave in any folder they show,
// counted up to 2; -1 when it is no folder or cannot be read.
int CountNames(const char* path);

// True when this program may make, rename and delete names in `folder`, by
// the system's real access rules (a game under Program Files refuses a
// player without administrator rights). Leaves nothing behind, even if the
// program is killed.
bool Writable(const char* folder);

// True unless the player may not rename or delete `path`, though its folder
// may be written: on POSIX a folder with the sticky bit guards the names of
// other users' files; on Windows the file's own rights, and a read-only mark
// that the player may not take off. True when there is nothing of that name.
bool MayChange(const char* path);

// True when another program holds the file or folder `path` open so that it
// cannot be moved or deleted, after waiting out the hold as `p` says: on
// Windows, open without delete sharing, as the running game holds its
// archives, or for a folder, any file or folder below it open at all (a
// command prompt's current folder too), since Windows will not rename a
// folder then. Never on POSIX, where that cannot happen.
bool InUse(const char* path, Patience& p);

// What a volume tells of its space.
struct Room {
  bool known;            // false when it could not be asked
  std::uint64_t free;    // bytes this program may still write there
  std::uint64_t total;   // its size; 0 from one that does not know its sizes
  std::uint64_t unit;    // every file takes a whole number of these
  std::uint64_t volume;  // the same for two folders on one volume
};
Room FreeSpace(const char* folder);
