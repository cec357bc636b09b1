#include "disk.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

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

#ifdef _WIN32

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

// What a walk over a folder's names does with each: its full name, whether
// it is a folder, and what the walk was given. Returning true ends the walk.
using Visit = bool (*)(char* path, size_t len, bool folder, void* given);

// Calls `visit` with the full name of each name in the folder whose name
// fills `path` (`len` characters of a MAX_PATH buffer) until it returns true;
// returns what it last returned. -1 when the folder cannot be read.
static int EachName(char* path, size_t len, Visit visit, void* given) {
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
    stop = visit(path, len + 1 + n, (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, given);
  } while (!stop && FindNextFileA(find, &d));
  FindClose(find);
  path[len] = '\0';
  return stop;
}

// Asking for the right to delete without sharing anything fails while any
// other program has the file or folder open, to read, write or delete it or
// as its current folder. Folders open only with backup semantics.
static bool OpenBelow(char* path, size_t len, bool folder, void*) {
  if (Refused(CreateFileA(path, DELETE, 0, nullptr, OPEN_EXISTING,
                          folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr)))
    return true;
  return folder && EachName(path, len, OpenBelow, nullptr) == 1;
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
  return EachName(below, len, OpenBelow, nullptr) == 1;
}

// A scanner's brief hold is waited out here too, rather than taken for the game.
bool InUse(const char* path, Patience& p) {
  for (Wait w; HeldNow(path);)
    if (!WaitMore(p, w, path)) return true;
  return false;
}

// Asking for the rights a delete needs, sharing everything, changes nothing;
// a holder's refusal is InUse's business.
bool MayChange(const char* path) {
  DWORD attr = GetFileAttributesA(path);
  if (attr == INVALID_FILE_ATTRIBUTES) return true;
  DWORD rights = DELETE | (attr & FILE_ATTRIBUTE_READONLY ? FILE_WRITE_ATTRIBUTES : 0);
  HANDLE h = CreateFileA(path, rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_ACCESS_DENIED;
  CloseHandle(h);
  return true;
}

static bool CountOne(char* path, size_t, bool, void* given) {
  int& names = *static_cast<int*>(given);
  if (!LeftByExplorer(std::strrchr(path, '\\') + 1)) names++;
  return names >= 2;
}

int CountNames(const char* path) {
  char buf[MAX_PATH];
  size_t len = std::strlen(path);
  if (len >= MAX_PATH) return -1;
  std::memcpy(buf, path, len + 1);
  int names = 0;
  return EachName(buf, len, CountOne, &names) < 0 ? -1 : names;
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

#else

bool Exists(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0;
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

bool InUse(const char*, Patience&) {
  return false;
}

// In a folder with the sticky bit only the file's owner, the folder's owner
// or root may rename or delete it.
bool MayChange(const char* path) {
  struct stat file, folder;
  char parent[256];
  const char* slash = std::strrchr(path, '/');
  int n = std::snprintf(parent, sizeof parent, "%.*s", slash ? static_cast<int>(slash - path) : 1,
                        slash ? path : ".");
  if (lstat(path, &file) != 0) return true;
  if (n < 0 || n >= static_cast<int>(sizeof parent) || stat(parent, &folder) != 0) return false;
  uid_t me = geteuid();
  return !(folder.st_mode & S_ISVTX) || me == 0 || file.st_uid == me || folder.st_uid == me;
}

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

#endif
