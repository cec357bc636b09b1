// The POSIX side of the platform layer: what the programs do to files.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "sys.h"

// The no-replace rule by hand: link() fails when `to` exists, so no window
// lets a file be replaced; a folder is renamed after a check, where only a
// name made between the two could be lost.
Fault MoveByCheck(const char* from, const char* to) {
  Kind k = What(from).kind;
  if (k == kNone) return kGone;
  if (What(to).kind != kNone) return kTaken;
  if (k != kFolder) {
    if (link(from, to) == 0) {
      if (unlink(from) == 0) return kOk;
      Fault f = FaultOf(errno);
      unlink(to);
      return f;
    }
    if (errno == EEXIST) return kTaken;
  }
  return FaultOf(rename(from, to) == 0 ? 0 : errno);
}

// POSIX has no holds to wait out.
Fault Move(const char* from, const char* to, Patience&) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return kOk;
  if (FaultOf(errno) != kUnsupported) return FaultOf(errno);
#endif
  return MoveByCheck(from, to);
}

// unlink() never removes a folder, unlike remove().
Fault Delete(const char* path, Patience&) {
  return FaultOf(unlink(path) == 0 ? 0 : errno);
}

Fault ClearReadOnly(const char*) {
  return kOk;
}

FILE* CreateNew(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  FILE* f = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (!f && fd >= 0) close(fd);
  return f;
}

FILE* OpenToRead(const char* path) {
  return std::fopen(path, "rb");
}

bool Seek(FILE* f, std::uint64_t pos) {
  static_assert(sizeof(off_t) == 8, "positions in a save must not be cut to 32 bits");
  return pos <= static_cast<std::uint64_t>(INT64_MAX) &&
         fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
}

// A device or pipe has nothing to push to a disk.
bool Sync(FILE* f) {
  return std::fflush(f) == 0 && (fsync(fileno(f)) == 0 || FaultOf(errno) == kUnsupported);
}

// Failures only lose the head start: the final Sync still writes everything.
void StartWriteBack([[maybe_unused]] FILE* f, [[maybe_unused]] std::uint64_t from) {
#ifdef SYNC_FILE_RANGE_WRITE
  if (std::fflush(f) == 0)
    sync_file_range(fileno(f), static_cast<off_t>(from), 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool SyncFolder(const char* path) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0 || FaultOf(errno) == kUnsupported;
  close(fd);
  return ok;
}

// The lock lives as long as its descriptor. The file stays: removing it would
// let a second program lock a new file of that name while the first still
// holds the old one. A link of its name is never followed.
Fault TakeLock(const char* path, Lock* lock) {
  int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return kFailed;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    lock->held = fd;
    return kOk;
  }
  Fault f = FaultOf(errno);
  close(fd);
  return f;
}

void DropLock(Lock* lock) {
  if (lock->held >= 0) close(static_cast<int>(lock->held));
  lock->held = -1;
}
