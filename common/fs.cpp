#include "fs.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cctype>
#else
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#endif

FILE* CreateNew(const char* path) {
#ifdef _WIN32
  int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, "wb");
  if (!f) close(fd);
  return f;
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

// Without MOVEFILE_REPLACE_EXISTING the rename fails when the target exists,
// for files and folders alike, and without MOVEFILE_COPY_ALLOWED it never
// turns into a copy across drives.
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

bool IsFile(const char* path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &d) ||
      (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  if (size) *size = std::uint64_t{d.nFileSizeHigh} << 32 | d.nFileSizeLow;
  return true;
}

bool Exists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
  DWORD attr = GetFileAttributesA(path);
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

// Asking for the right to delete, while sharing everything, changes nothing
// and fails only when a holder refuses to share its deletion. Folders open
// only with backup semantics.
bool InUse(const char* path) {
  HANDLE h = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

// A volume is known by the folder it is mounted on ("C:\\" or a mount point),
// taken without regard to letter case. (Its serial number would make Wine
// read the disk device and complain on the console.)
Room FreeSpace(const char* folder) {
  Room r = {};
  ULARGE_INTEGER avail, total;
  DWORD perCluster = 0, sector = 0, freeClusters = 0, clusters = 0;
  char full[MAX_PATH], root[MAX_PATH];
  DWORD n = GetFullPathNameA(folder, MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH || !GetVolumePathNameA(full, root, MAX_PATH) ||
      !GetDiskFreeSpaceExA(folder, &avail, &total, nullptr) ||
      !GetDiskFreeSpaceA(root, &perCluster, &sector, &freeClusters, &clusters))
    return r;
  r.known = true;
  r.free = avail.QuadPart;
  r.total = total.QuadPart;
  r.unit = std::uint64_t{perCluster} * sector;
  r.volume = 1469598103934665603ull;  // FNV-1a of the upper-cased name
  for (const char* c = root; *c; c++)
    r.volume = (r.volume ^ static_cast<unsigned>(std::toupper(static_cast<unsigned char>(*c)))) *
               1099511628211ull;
  return r;
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

bool Exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
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

bool IsFile(const char* path, std::uint64_t* size) {
  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (size) *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool IsFolder(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool InUse(const char*) {
  return false;
}

Room FreeSpace(const char* folder) {
  Room r = {};
  struct statvfs vfs;
  struct stat st;
  if (statvfs(folder, &vfs) != 0 || stat(folder, &st) != 0) return r;
  r.known = true;
  r.free = std::uint64_t{vfs.f_bavail} * vfs.f_frsize;
  r.total = std::uint64_t{vfs.f_blocks} * vfs.f_frsize;
  r.unit = vfs.f_frsize;
  r.volume = st.st_dev;
  return r;
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
