#include "fs.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cctype>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#endif

#ifdef _WIN32

// Without MOVEFILE_REPLACE_EXISTING the rename fails when the target exists,
// for files and folders alike, and without MOVEFILE_COPY_ALLOWED it never
// turns into a copy across drives. Written through, a move that returned is on
// the disk, which is what a folder sync gives on POSIX.
bool Move(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0;
}

bool MoveByCheck(const char* from, const char* to) {
  return Move(from, to);
}

// DeleteFile refuses folders.
bool Delete(const char* path) {
  return DeleteFileA(path) != 0;
}

FILE* CreateNew(const char* path) {
  int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
  return f;
}

bool Seek(FILE* f, std::uint64_t pos) {
  if (pos > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return _fseeki64(f, static_cast<__int64>(pos), SEEK_SET) == 0;
}

bool IsFile(const char* path) {
  DWORD attr = GetFileAttributesA(path);
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
  DWORD attr = GetFileAttributesA(path);
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

// Asking for the right to delete, while sharing everything, changes nothing
// and fails only when a holder of the file refuses to share its deletion.
bool InUse(const char* path) {
  HANDLE h = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

// A volume is known by the folder it is mounted on ("C:\\" or a mount point),
// taken without regard to letter case. (Its serial number would make Wine
// read the disk device and complain on the console.)
bool FreeSpace(const char* folder, std::uint64_t* bytes, std::uint64_t* volume) {
  ULARGE_INTEGER avail;
  char full[MAX_PATH], root[MAX_PATH];
  if (!GetDiskFreeSpaceExA(folder, &avail, nullptr, nullptr) ||
      !GetFullPathNameA(folder, MAX_PATH, full, nullptr) ||
      !GetVolumePathNameA(full, root, MAX_PATH))
    return false;
  *bytes = avail.QuadPart;
  *volume = 1469598103934665603ull;  // FNV-1a of the upper-cased name
  for (const char* c = root; *c; c++)
    *volume = (*volume ^ static_cast<unsigned>(std::toupper(static_cast<unsigned char>(*c)))) *
              1099511628211ull;
  return true;
}

bool Sync(FILE* f) {
  return std::fflush(f) == 0 && _commit(_fileno(f)) == 0;
}

void StartWriteBack(FILE*, std::uint64_t) {}

void SyncFolder(const char*) {}

// Opened without sharing, a second open fails for as long as this process
// lives; the file goes away with the last handle. The handle is never closed.
LockState TakeLock(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h != INVALID_HANDLE_VALUE) return kLockTaken;
  return GetLastError() == ERROR_SHARING_VIOLATION ? kLockBusy : kLockUnavailable;
}

#else

static_assert(sizeof(off_t) == 8, "positions in a save must not be cut to 32 bits");

// Anything that cannot be looked at counts as there.
bool Exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 || errno != ENOENT;
}

bool MoveByCheck(const char* from, const char* to) {
  struct stat st;
  if (lstat(from, &st) != 0 || Exists(to)) return false;
  if (!S_ISDIR(st.st_mode)) {
    // link() fails when `to` exists, so no window lets a file be replaced.
    if (link(from, to) == 0) {
      if (unlink(from) == 0) return true;
      unlink(to);
      return false;
    }
    if (errno == EEXIST) return false;
  }
  // Folders, and files on file systems without hard links: a plain rename
  // after the check above. Only a name made between the two could be lost.
  return rename(from, to) == 0;
}

bool Move(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) return false;
#endif
  return MoveByCheck(from, to);
}

// unlink() never removes a folder, unlike remove().
bool Delete(const char* path) {
  return unlink(path) == 0;
}

FILE* CreateNew(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "wb");
  if (!f) close(fd);
  return f;
}

bool Seek(FILE* f, std::uint64_t pos) {
  if (pos > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
}

bool IsFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool InUse(const char*) {
  return false;
}

bool FreeSpace(const char* folder, std::uint64_t* bytes, std::uint64_t* volume) {
  struct statvfs vfs;
  struct stat st;
  if (statvfs(folder, &vfs) != 0 || stat(folder, &st) != 0) return false;
  *bytes = std::uint64_t{vfs.f_bavail} * vfs.f_frsize;
  *volume = st.st_dev;
  return true;
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

void SyncFolder(const char* path) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// The descriptor is never closed, so the lock lives exactly as long as the
// process. The file stays: removing it would let a second program lock a new
// file of that name while the first still holds the old one.
LockState TakeLock(const char* path) {
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return kLockUnavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return kLockTaken;
  int err = errno;
  close(fd);
  return err == EWOULDBLOCK ? kLockBusy : kLockUnavailable;
}

#endif
