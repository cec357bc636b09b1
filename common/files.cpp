#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "disk.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "wide.h"
#else
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

// A stream on the open descriptor `fd`, which is closed when none can be made.
static FILE* Stream(int fd, const char* mode) {
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, mode);
  if (!f) close(fd);
  return f;
}

FILE* CreateNew(const char* path) {
#ifdef _WIN32
  return Stream(
      _wopen(Widen(path).s, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE),
      "wb");
#else
  return Stream(open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), "wb");
#endif
}

FILE* OpenToRead(const char* path) {
#ifdef _WIN32
  return _wfopen(Widen(path).s, L"rb");
#else
  return std::fopen(path, "rb");
#endif
}

bool Seek(FILE* f, std::uint64_t pos) {
  if (pos > static_cast<std::uint64_t>(INT64_MAX)) return false;
#ifdef _WIN32
  return _fseeki64(f, static_cast<__int64>(pos), SEEK_SET) == 0;
#else
  static_assert(sizeof(off_t) == 8, "positions in a save must not be cut to 32 bits");
  return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

#ifdef _WIN32

// What a refusal means. A folder is refused as "access denied" while anything
// inside it is open, so there it may be a hold; a file so refused is one the
// player may not change (its rights, a read-only mark), which no wait mends.
static Fault FaultOf(DWORD err, bool folder) {
  switch (err) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return kHeld;
    case ERROR_ACCESS_DENIED:
      return folder ? kHeld : kDenied;
    case ERROR_WRITE_PROTECT:
      return kDenied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return kGone;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return kTaken;
    default:
      return kFailed;
  }
}

// Without MOVEFILE_REPLACE_EXISTING the rename fails when the target exists,
// for files and folders alike, and without MOVEFILE_COPY_ALLOWED it never
// turns into a copy across drives. MOVEFILE_WRITE_THROUGH promises only that
// such a copy is on the disk when the call returns; for a rename on one drive
// it promises nothing, and the file system's log makes the name last.
Fault Move(const char* from, const char* to, Patience* given) {
  Patience fallback;
  Patience& p = given ? *given : fallback;
  for (Wait w;;) {
    if (MoveFileExW(Widen(from).s, Widen(to).s, MOVEFILE_WRITE_THROUGH)) return kOk;
    // A folder renamed onto a folder is refused as "access denied": a taken
    // name is never a hold.
    DWORD err = GetLastError();
    if (Exists(to)) return kTaken;
    Fault f = FaultOf(err, IsFolder(from));
    if (f != kHeld || !WaitMore(p, w, from)) return f;
  }
}

Fault MoveByCheck(const char* from, const char* to, Patience* p) {
  return Move(from, to, p);
}

Fault Delete(const char* path, Patience* given) {
  Patience fallback;
  Patience& p = given ? *given : fallback;
  const Wide name = Widen(path);
  for (Wait w;;) {
    if (DeleteFileW(name.s)) return kOk;
    DWORD err = GetLastError(), attr = GetFileAttributesW(name.s);
    if (attr == INVALID_FILE_ATTRIBUTES) return kGone;
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return kFailed;
    Fault f = FaultOf(err, false);
    if (f != kHeld || !WaitMore(p, w, path)) return f;
  }
}

Fault ClearReadOnly(const char* path) {
  const Wide w = Widen(path);
  DWORD attr = GetFileAttributesW(w.s);
  if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_READONLY)) return kOk;
  if (SetFileAttributesW(w.s, attr & ~FILE_ATTRIBUTE_READONLY)) return kOk;
  return FaultOf(GetLastError(), false);
}

// Shares reading and writing, as the C runtime's "r+b" does.
FILE* Reopen(const char* path, Patience* given) {
  Patience fallback;
  Patience& p = given ? *given : fallback;
  HANDLE h;
  const Wide name = Widen(path);
  for (Wait w; (h = CreateFileW(name.s, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr)) == INVALID_HANDLE_VALUE;)
    if (FaultOf(GetLastError(), false) != kHeld || !WaitMore(p, w, path)) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return Stream(fd, "r+b");
}

bool Sync(FILE* f) {
  return std::fflush(f) == 0 && _commit(_fileno(f)) == 0;
}

void StartWriteBack(FILE*, std::uint64_t) {}

// What a file system answers when it cannot flush a folder at all.
static bool CannotFlush(DWORD err) {
  return err == ERROR_INVALID_FUNCTION || err == ERROR_INVALID_PARAMETER;
}

// A folder is flushed through a handle of its own, which only backup
// semantics give, opened for writing as FlushFileBuffers requires.
bool SyncFolder(const char* path) {
  HANDLE h = CreateFileW(Widen(path).s, GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return CannotFlush(GetLastError());
  bool ok = FlushFileBuffers(h) || CannotFlush(GetLastError());
  CloseHandle(h);
  return ok;
}

// Opened without sharing, a second open fails for as long as the handle is
// open; the file goes away with it, when DropLock or the process's end closes it.
LockState TakeLock(const char* path, Lock* lock) {
  HANDLE h = CreateFileW(Widen(path).s, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    lock->held = reinterpret_cast<std::intptr_t>(h);
    return kLockTaken;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION ? kLockBusy : kLockUnavailable;
}

void DropLock(Lock* lock) {
  if (lock->held != -1) CloseHandle(reinterpret_cast<HANDLE>(lock->held));
  lock->held = -1;
}

#else

static Fault FaultOf(int err) {
  switch (err) {
    case EEXIST:
    case ENOTEMPTY:
      return kTaken;
    case ENOENT:
      return kGone;
    case EACCES:
    case EPERM:
    case EROFS:
      return kDenied;
    default:
      return kFailed;
  }
}

Fault MoveByCheck(const char* from, const char* to, Patience*) {
  struct stat st;
  if (lstat(from, &st) != 0) return kGone;
  if (Exists(to)) return kTaken;
  if (!S_ISDIR(st.st_mode)) {
    // link() fails when `to` exists, so no window lets a file be replaced.
    if (link(from, to) == 0) {
      if (unlink(from) == 0) return kOk;
      Fault f = FaultOf(errno);
      unlink(to);
      return f;
    }
    if (errno == EEXIST) return kTaken;
  }
  // Folders, and files on file systems without hard links: a plain rename
  // after the check above. Only a name made between the two could be lost.
  return rename(from, to) == 0 ? kOk : FaultOf(errno);
}

// POSIX has no holds to wait out.
Fault Move(const char* from, const char* to, Patience*) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return kOk;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP)
    return FaultOf(errno);
#endif
  return MoveByCheck(from, to);
}

// unlink() never removes a folder, unlike remove().
Fault Delete(const char* path, Patience*) {
  return unlink(path) == 0 ? kOk : FaultOf(errno);
}

Fault ClearReadOnly(const char*) {
  return kOk;
}

FILE* Reopen(const char* path, Patience*) {
  return std::fopen(path, "r+b");
}

// EINVAL: a device or pipe, which has nothing to push to a disk.
bool Sync(FILE* f) {
  return std::fflush(f) == 0 && (fsync(fileno(f)) == 0 || errno == EINVAL);
}

// Failures only lose the head start: the final Sync still writes everything.
void StartWriteBack(FILE* f, std::uint64_t from) {
#ifdef SYNC_FILE_RANGE_WRITE
  if (std::fflush(f) == 0)
    sync_file_range(fileno(f), static_cast<off_t>(from), 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)f;
  (void)from;
#endif
}

// EINVAL: a file system that cannot sync a folder.
bool SyncFolder(const char* path) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return ok;
}

// The lock lives as long as its descriptor, which DropLock or the process's
// end closes. The file stays: removing it would let a second program lock a
// new file of that name while the first still holds the old one.
LockState TakeLock(const char* path, Lock* lock) {
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return kLockUnavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    lock->held = fd;
    return kLockTaken;
  }
  int err = errno;
  close(fd);
  return err == EWOULDBLOCK ? kLockBusy : kLockUnavailable;
}

void DropLock(Lock* lock) {
  if (lock->held >= 0) close(static_cast<int>(lock->held));
  lock->held = -1;
}

#endif
