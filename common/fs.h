// The few file-system operations the programs need, with the same rules on
// Windows and POSIX. Everything platform-specific about files lives in fs.cpp.
#pragma once

#include <cstdint>
#include <cstdio>

// Renames a file or folder. Never replaces anything: returns false and changes
// nothing when `to` already exists or `from` does not. On Windows a hold by
// another program (a virus scanner, a sync client) is waited out for up to
// 10 s, as it is by Delete, Reopen and InUse; a taken name is never waited for.
bool Move(const char* from, const char* to);

// Where a wait for another program's hold is said, once from here on, when it
// has lasted a second: the run would otherwise look hung. Null says nothing.
void SayWaitsOn(FILE* con);

// How long a hold is waited out, 10 s unless a test shortens it. Does
// nothing on POSIX, which has no such holds.
void SetPatience(unsigned ms);

// The no-replace rename for POSIX file systems that refuse the kernel's own
// no-replace flag: a hard link then unlink for files, a check then rename for
// folders. Move uses it only there; it is exposed so tests can reach it. On
// Windows, whose own rename never replaces, it is Move.
bool MoveByCheck(const char* from, const char* to);

// Removes a file. Returns false, changing nothing, when there is no file of
// that name or it cannot be removed; a folder of that name is never removed.
bool Delete(const char* path);

// Creates a new file and opens it for binary writing. Returns null when
// anything of that name exists already, so nothing is ever appended to or cut.
FILE* CreateNew(const char* path);

// Opens the existing file `path` for binary reading and writing, nothing cut.
// Returns null when it cannot be opened.
FILE* Reopen(const char* path);

// Places `f` at byte `pos` from the start of the file, beyond 2 and 4 GiB too.
// Returns false when the position cannot be reached.
bool Seek(FILE* f, std::uint64_t pos);

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

// True when another program holds the file or folder `path` open so that it
// cannot be moved or deleted, after waiting out the hold as Move does: on
// Windows, open without delete sharing, as the running game holds its
// archives, or for a folder, any file or folder below it open at all (a
// command prompt's current folder too), since Windows will not rename a
// folder then. Never on POSIX, where that cannot happen.
bool InUse(const char* path);

// What a volume tells of its space.
struct Room {
  bool known;            // false when it could not be asked
  std::uint64_t free;    // bytes this program may still write there
  std::uint64_t total;   // its size; 0 from one that does not know its sizes
  std::uint64_t unit;    // every file takes a whole number of these
  std::uint64_t volume;  // the same for two folders on one volume
};
Room FreeSpace(const char* folder);

// Pushes what was written to `f` through to the disk, so that a power cut
// cannot leave the file shorter than it was written. Returns false when that fails.
bool Sync(FILE* f);

// Starts writing what was written to `f` from byte `from` on to the disk,
// without waiting for it, so that the Sync at the end has little left to
// wait for. Does nothing where the system has no such call.
void StartWriteBack(FILE* f, std::uint64_t from);

// Pushes the names made, moved or deleted in the folder `path` through to the
// disk. Returns false when that fails; a file system that offers no such sync
// is passed over. Windows has no such call: there the file system's own log
// keeps the names in order, and a power cut may undo the last few renames.
bool SyncFolder(const char* path);

enum LockState { kLockTaken, kLockBusy, kLockUnavailable };

// Takes the lock file `path` until DropLock; the operating system drops it
// when the process ends, however it ends. kLockBusy when
// another process holds it; kLockUnavailable when the file cannot be made.
LockState TakeLock(const char* path);

// Lets go of the lock before the process ends, so that a window left waiting
// for the player holds nobody up.
void DropLock();
