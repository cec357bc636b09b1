#include "fs.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <initializer_list>

#include "fileset.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/file.h>
#include <sys/statvfs.h>
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
  return Stream(_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE),
                "wb");
#else
  return Stream(open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), "wb");
#endif
}

static bool IsDots(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// What Windows Explorer and macOS write into a folder they show, in any
// letter case: no part of a download, nor a sign of what it holds.
static bool LeftByExplorer(const char* name) {
  for (const char* made : {"desktop.ini", "Thumbs.db", ".DS_Store"}) {
    const char *a = name, *b = made;
    while (*a && std::tolower(static_cast<unsigned char>(*a)) ==
                     std::tolower(static_cast<unsigned char>(*b)))
      a++, b++;
    if (*a == '\0' && *b == '\0') return true;
  }
  return false;
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

// A virus scanner or sync client opens each new or changed file for a
// moment, and Windows then refuses to rename, delete or reopen it. Such a
// failure is tried again, with pauses growing from 4 ms to half a second,
// until 10 s have passed; a second into any wait the player is told, once.
struct Patience {
  ULONGLONG start = 0;
  DWORD pause = 4;
};
static ULONGLONG patience = 10000;
static FILE* waitsSaidOn = nullptr;

void SayWaitsOn(FILE* con) {
  waitsSaidOn = con;
}

void SetPatience(unsigned ms) {
  patience = ms;
}

// True, after a pause, when the failure `err` of an operation on `path` may
// be such a hold and time is left.
static bool WaitOut(Patience& p, DWORD err, const char* path) {
  if (err != ERROR_SHARING_VIOLATION && err != ERROR_LOCK_VIOLATION && err != ERROR_ACCESS_DENIED)
    return false;
  ULONGLONG now = GetTickCount64();
  if (p.start == 0) p.start = now;
  ULONGLONG waited = now - p.start;
  if (waited >= patience) return false;
  if (waited >= 1000 && waitsSaidOn) {
    std::fprintf(waitsSaidOn, kWaiting, FileName(path));
    std::fflush(waitsSaidOn);
    waitsSaidOn = nullptr;
  }
  Sleep(static_cast<DWORD>(p.pause < patience - waited ? p.pause : patience - waited));
  p.pause = p.pause < 250 ? p.pause * 2 : 500;
  return true;
}

// Without MOVEFILE_REPLACE_EXISTING the rename fails when the target exists,
// for files and folders alike, and without MOVEFILE_COPY_ALLOWED it never
// turns into a copy across drives. MOVEFILE_WRITE_THROUGH promises only that
// such a copy is on the disk when the call returns; for a rename on one drive
// it promises nothing, and the file system's log makes the name last.
bool Move(const char* from, const char* to) {
  for (Patience p;;) {
    if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)) return true;
    // A folder renamed onto a folder is refused as "access denied": a taken
    // name is never a hold.
    DWORD err = GetLastError();
    if (Exists(to) || !WaitOut(p, err, from)) return false;
  }
}

bool MoveByCheck(const char* from, const char* to) {
  return Move(from, to);
}

// DeleteFile refuses folders, and read-only files, as "access denied" too:
// no holder will let go of those.
bool Delete(const char* path) {
  for (Patience p;;) {
    if (DeleteFileA(path)) return true;
    DWORD err = GetLastError(), attr = GetFileAttributesA(path);
    if (attr == INVALID_FILE_ATTRIBUTES ||
        (attr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) || !WaitOut(p, err, path))
      return false;
  }
}

// Shares reading and writing, as the C runtime's "r+b" does.
FILE* Reopen(const char* path) {
  HANDLE h;
  for (Patience p; (h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)) == INVALID_HANDLE_VALUE;)
    if (!WaitOut(p, GetLastError(), path)) return nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return Stream(fd, "r+b");
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

// Whether an open made only to ask was refused because another program holds
// the file; a handle it got is closed at once.
static bool Refused(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

// Calls `visit` with the full name of each name in the folder whose name
// fills `path` (`len` characters of a MAX_PATH buffer) until it returns true;
// returns what it last returned. -1 when the folder cannot be read.
static int EachName(char* path, size_t len, bool (*visit)(char* path, size_t len, bool folder)) {
  if (len + 2 >= MAX_PATH) return -1;
  std::memcpy(path + len, "\\*", 3);
  WIN32_FIND_DATAA d;
  HANDLE find = FindFirstFileA(path, &d);
  if (find == INVALID_HANDLE_VALUE) return -1;
  bool stop = false;
  do {
    size_t n = std::strlen(d.cFileName);
    if (IsDots(d.cFileName) || len + 1 + n >= MAX_PATH) continue;
    std::memcpy(path + len + 1, d.cFileName, n + 1);
    stop = visit(path, len + 1 + n, (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (!stop && FindNextFileA(find, &d));
  FindClose(find);
  path[len] = '\0';
  return stop;
}

// Asking for the right to delete without sharing anything fails while any
// other program has the file or folder open, to read, write or delete it or
// as its current folder. Folders open only with backup semantics.
static bool OpenBelow(char* path, size_t len, bool folder) {
  if (Refused(CreateFileA(path, DELETE, 0, nullptr, OPEN_EXISTING,
                          folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr)))
    return true;
  return folder && EachName(path, len, OpenBelow) == 1;
}

// Asking for the right to delete, while sharing everything, changes nothing
// and fails only when a holder refuses to share its deletion.
static bool HeldNow(const char* path) {
  if (Refused(CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)))
    return true;
  char below[MAX_PATH];
  size_t len = std::strlen(path);
  if (len >= MAX_PATH || !IsFolder(path)) return false;
  std::memcpy(below, path, len + 1);
  return EachName(below, len, OpenBelow) == 1;
}

// A scanner's brief hold is waited out here too, rather than taken for the game.
bool InUse(const char* path) {
  for (Patience p; HeldNow(path);)
    if (!WaitOut(p, ERROR_SHARING_VIOLATION, path)) return true;
  return false;
}

static int names;
static bool CountOne(char* path, size_t, bool) {
  if (!LeftByExplorer(std::strrchr(path, '\\') + 1)) names++;
  return names >= 2;
}

int CountNames(const char* path) {
  char buf[MAX_PATH];
  size_t len = std::strlen(path);
  if (len >= MAX_PATH) return -1;
  std::memcpy(buf, path, len + 1);
  names = 0;
  return EachName(buf, len, CountOne) < 0 ? -1 : names;
}

// A probe file that the system deletes as its handle closes, however this
// process ends, tells what the folder's real access rights allow.
bool Writable(const char* folder) {
  char probe[MAX_PATH];
  int n = std::snprintf(probe, sizeof probe, "%s\\QVR-%lu.probe", folder, GetCurrentProcessId());
  if (n < 0 || n >= MAX_PATH) return false;
  HANDLE h = CreateFileA(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
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

bool SyncFolder(const char*) {
  return true;
}

static HANDLE lock = INVALID_HANDLE_VALUE;

// Opened without sharing, a second open fails for as long as the handle is
// open; the file goes away with it, when DropLock or the process's end closes it.
LockState TakeLock(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    lock = h;
    return kLockTaken;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION ? kLockBusy : kLockUnavailable;
}

void DropLock() {
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
  lock = INVALID_HANDLE_VALUE;
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

FILE* Reopen(const char* path) {
  return std::fopen(path, "r+b");
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

void SayWaitsOn(FILE*) {}

void SetPatience(unsigned) {}

int CountNames(const char* path) {
  DIR* d = opendir(path);
  if (!d) return -1;
  int n = 0;
  for (struct dirent* e; n < 2 && (e = readdir(d));)
    n += !IsDots(e->d_name) && !LeftByExplorer(e->d_name);
  closedir(d);
  return n;
}

bool Writable(const char* folder) {
  return access(folder, W_OK | X_OK) == 0;
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

// EINVAL: a file system that cannot sync a folder.
bool SyncFolder(const char* path) {
  int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return ok;
}

static int lock = -1;

// The lock lives as long as its descriptor, which DropLock or the process's
// end closes. The file stays: removing it would let a second program lock a
// new file of that name while the first still holds the old one.
LockState TakeLock(const char* path) {
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return kLockUnavailable;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    lock = fd;
    return kLockTaken;
  }
  int err = errno;
  close(fd);
  return err == EWOULDBLOCK ? kLockBusy : kLockUnavailable;
}

void DropLock() {
  if (lock >= 0) close(lock);
  lock = -1;
}

#endif
