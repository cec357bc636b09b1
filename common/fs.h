// The platform layer: what the programs do to the game's files and ask of the
// disk, with the same rules on Windows and POSIX, in one file per platform per
// concern (posix/, win/). Each platform maps its system's errors to a Fault in
// one table (sys.h). Nothing is created, written or deleted through a link.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wait.h"

// Why a call did not do what it was asked, told where it is made: what the
// player must do differs with it.
enum Fault {
  kOk,
  kTaken,        // the new name exists
  kGone,         // nothing has the name
  kHeld,         // another program holds it (Windows)
  kDenied,       // not the player's to change: its folder's rights, a read-only mark
  kProtected,    // on a disk that is write-protected or mounted read-only
  kUnsupported,  // the file system cannot do this at all
  kFailed,       // anything else: a folder in the way, a disk error
};

// What a name is, as itself: a symbolic link or a junction is kLink whatever
// it leads to; a name that cannot be looked at is kNone.
enum Kind { kNone, kFile, kFolder, kLink };
struct Stat {
  Kind kind;
  std::uint64_t size;  // of a file
};
Stat What(const char* path);

// Renames a file, folder or link as itself, never replacing anything: kTaken
// when `to` exists, kGone when `from` does not. A hold by another program is
// waited out as `p` says, as it is by Delete.
Fault Move(const char* from, const char* to, Patience& p);

#ifndef _WIN32
// Move on POSIX file systems that refuse the kernel's own no-replace rename:
// a hard link then unlink for files, a check then rename for folders.
Fault MoveByCheck(const char* from, const char* to);
#endif

// Removes a file, or a link as itself; never a folder (kFailed), nor a
// read-only file on Windows (kDenied).
Fault Delete(const char* path, Patience& p);

// Takes the read-only mark off `path` (Windows) so that Delete may remove it;
// kOk when it has none, or there is no such file. POSIX has no such mark.
Fault ClearReadOnly(const char* path);

// A new file open for binary writing; null when anything has that name, a
// link too, so nothing is ever appended to, cut, or written through a link.
FILE* CreateNew(const char* path);
// The file `path`, through any links, open for binary reading, or null.
FILE* OpenToRead(const char* path);

// Places `f` at byte `pos`, beyond 2 and 4 GiB too; false when it cannot.
bool Seek(FILE* f, std::uint64_t pos);

// Pushes what was written to `f` through to the disk; false when that fails.
bool Sync(FILE* f);

// Starts writing `f` from byte `from` on to the disk without waiting, so that
// the Sync at the end waits for little. Does nothing where there is no such call.
void StartWriteBack(FILE* f, std::uint64_t from);

// Pushes the names made, moved or deleted in the folder `path` through to the
// disk; false when that fails. A file system that cannot sync a folder is passed over.
bool SyncFolder(const char* path);

// The save folder's lock while one program runs there: the system's handle
// or descriptor, -1 when none is held, dropped as the process ends, however.
struct Lock {
  std::intptr_t held = -1;
};
// kOk when taken, kHeld when another process holds it, anything else when it
// cannot be had (a folder that cannot hold the file, a link of its name).
Fault TakeLock(const char* path, Lock* lock);
void DropLock(Lock* lock);

// How many names the folder `path` holds, up to 2, but for LeftByExplorer's;
// -1 when it cannot be read whole.
int CountNames(const char* path);
// Whether `name` is what Windows Explorer or macOS leave in any folder they
// show, or a Mac adds to a zip: no part of a download, nor a sign of what it holds.
bool LeftByExplorer(const char* name);

// kOk when this program may make, rename and delete names in `folder`, by the
// system's real access rules; otherwise why not. Leaves nothing behind, even if killed.
Fault Writable(const char* folder);

// False when the player may not rename or delete `path` though its folder may
// be written: POSIX's sticky folder; Windows' own rights of the file, and a
// read-only mark the player may not take off. True when nothing has the name.
bool MayChange(const char* path);

// Whether another program holds `path` so that it cannot be moved or deleted,
// past the wait `p`: on Windows open without delete sharing, as the running
// game holds its archives, or for a folder anything below it open at all.
// Never on POSIX, where that cannot happen.
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
