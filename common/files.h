// What the programs do to files and folders, with the same rules on Windows
// and POSIX: rename without replacing, delete files only, create only what
// is new, reopen, seek, push to the disk, and the save folder's lock.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wait.h"

// Why a rename or delete did not take place, told where the call is made:
// what the player must do differs with it (close a program, or get the right
// to change the game's folders).
enum Fault {
  kOk,      // it took place
  kTaken,   // the new name exists
  kGone,    // nothing has the name
  kHeld,    // another program holds it, past the wait (Windows)
  kDenied,  // the player may not change it (its folder's rights, a read-only mark)
  kFailed,  // anything else: a folder in the way, a disk error
};

// Renames a file or folder. Never replaces anything: kTaken, changing
// nothing, when `to` already exists; kGone when `from` does not. On Windows a
// hold by another program is waited out as `p` says (null: 10 s, silently),
// as it is by Delete and Reopen; a taken name or a refused right is never
// waited for. A read-only file is renamed as it is.
Fault Move(const char* from, const char* to, Patience* p = nullptr);

// The no-replace rename for POSIX file systems that refuse the kernel's own
// no-replace flag: a hard link then unlink for files, a check then rename for
// folders. Move uses it only there; it is exposed so tests can reach it. On
// Windows, whose own rename never replaces, it is Move.
Fault MoveByCheck(const char* from, const char* to, Patience* p = nullptr);

// Removes a file: kGone when there is none of that name; a folder of that
// name is never removed (kFailed), nor a read-only file on Windows (kDenied).
Fault Delete(const char* path, Patience* p = nullptr);

// Takes the read-only mark off the file `path` (Windows), so that Delete may
// remove it; kOk when it has none, or there is no such file. POSIX has no such
// mark: a file's own rights do not guard its name.
Fault ClearReadOnly(const char* path);

// Creates a new file and opens it for binary writing. Returns null when
// anything of that name exists already, so nothing is ever appended to or cut.
FILE* CreateNew(const char* path);

// Opens the existing file `path` for binary reading only. Returns null when
// it cannot be opened.
FILE* OpenToRead(const char* path);

// Opens the existing file `path` for binary reading and writing, nothing cut.
// Returns null when it cannot be opened.
FILE* Reopen(const char* path, Patience* p = nullptr);

// Places `f` at byte `pos` from the start of the file, beyond 2 and 4 GiB too.
// Returns false when the position cannot be reached.
bool Seek(FILE* f, std::uint64_t pos);

// Pushes what was written to `f` through to the disk, so that a power cut
// cannot leave the file shorter than it was written. Returns false when that fails.
bool Sync(FILE* f);

// Starts writing what was written to `f` from byte `from` on to the disk,
// without waiting for it, so that the Sync at the end has little left to
// wait for. Does nothing where the system has no such call.
void StartWriteBack(FILE* f, std::uint64_t from);

// Pushes the names made, moved or deleted in the folder `path` through to the
// disk. Returns false when that fails; a file system that cannot sync a
// folder is passed over.
bool SyncFolder(const char* path);

// The save folder's lock while one program runs there: the system's handle
// or descriptor, -1 when none is held.
struct Lock {
  std::intptr_t held = -1;
};
enum LockState { kLockTaken, kLockBusy, kLockUnavailable };

// Takes the lock file `path` into `lock` until DropLock; the operating system
// drops it when the process ends, however it ends. kLockBusy when another
// process holds it; kLockUnavailable when the file cannot be made.
LockState TakeLock(const char* path, Lock* lock);

// Lets go of the lock before the process ends, so that a window left waiting
// for the player holds nobody up.
void DropLock(Lock* lock);
