#include "disk.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>

#include <cwchar>

#include "wide.h"
#else
#include <dirent.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

template <typename Char>
static bool IsDots(const Char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// What Windows Explorer and macOS write into a folder they show, in any
// letter case: no part of a download, nor a sign of what it holds.
template <typename Char>
static bool LeftByExplorer(const Char* name) {
  auto lower = [](auto c) {
    auto code = static_cast<unsigned>(static_cast<std::make_unsigned_t<decltype(c)>>(c));
    return code < 128 ? static_cast<unsigned>(std::tolower(static_cast<int>(code))) : code;
  };
  for (const char* made : {"desktop.ini", "Thumbs.db", ".DS_Store"}) {
    const Char* a = name;
    const char* b = made;
    while (*a && lower(*a) == lower(*b)) a++, b++;
    if (*a == '\0' && *b == '\0') return true;
  }
  return false;
}

#ifdef _WIN32

bool IsFile(const char* path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(Widen(path).s, GetFileExInfoStandard, &d) ||
      (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  if (size) *size = std::uint64_t{d.nFileSizeHigh} << 32 | d.nFileSizeLow;
  return true;
}

bool Exists(const char* path) {
  return GetFileAttributesW(Widen(path).s) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const char* path) {
  DWORD attr = GetFileAttributesW(Widen(path).s);
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether an open made only to ask was refused because another program holds
// the file; a handle it got is closed at once.
static bool Refused(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

// How to open the name itself: a folder only with backup semantics, a
// junction or symbolic link as itself, never what it leads to.
static DWORD OpenAsItself(DWORD attr) {
  return (attr & FILE_ATTRIBUTE_DIRECTORY ? FILE_FLAG_BACKUP_SEMANTICS : 0) |
         (attr & FILE_ATTRIBUTE_REPARSE_POINT ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
}

// Whether the walk goes below the name: a folder, not a junction or link,
// which may lead anywhere, or back up the tree.
static bool Enter(DWORD attr) {
  return (attr & FILE_ATTRIBUTE_DIRECTORY) && !(attr & FILE_ATTRIBUTE_REPARSE_POINT);
}

// What a walk over a folder's names does with each: its full name, its
// attributes, and what the walk was given. Returning true ends the walk.
using Visit = bool (*)(wchar_t* path, size_t len, DWORD attr, void* given);
enum Listed { kListedAll, kStopped, kUnreadable, kBroken };

// Calls `visit` with the full name of each name in the folder whose name
// fills `path` (`len` characters of a kLongPath buffer) until it returns
// true (kStopped). kUnreadable when the folder cannot be listed at all,
// kBroken when the listing fails partway, so that what is left is unseen.
static Listed EachName(wchar_t* path, size_t len, Visit visit, void* given) {
  if (len + 2 >= kLongPath) return kUnreadable;
  std::wmemcpy(path + len, L"\\*", 3);
  WIN32_FIND_DATAW d;
  HANDLE find = FindFirstFileW(path, &d);
  path[len] = L'\0';
  if (find == INVALID_HANDLE_VALUE) return kUnreadable;
  Listed listed = kListedAll;
  do {
    size_t n = std::wcslen(d.cFileName);
    if (IsDots(d.cFileName)) continue;
    if (len + 1 + n >= kLongPath) listed = kBroken;  // longer than Windows allows
    if (listed != kListedAll) break;
    path[len] = L'\\';
    std::wmemcpy(path + len + 1, d.cFileName, n + 1);
    if (visit(path, len + 1 + n, d.dwFileAttributes, given)) listed = kStopped;
  } while (listed == kListedAll && FindNextFileW(find, &d));
  if (listed == kListedAll && GetLastError() != ERROR_NO_MORE_FILES) listed = kBroken;
  FindClose(find);
  path[len] = L'\0';
  return listed;
}

// Asking for the right to delete without sharing anything fails while any
// other program has the file or folder open, to read, write or delete it or
// as its current folder. A listing cut short cannot rule out a hold.
static bool OpenBelow(wchar_t* path, size_t len, DWORD attr, void*) {
  if (Refused(CreateFileW(path, DELETE, 0, nullptr, OPEN_EXISTING, OpenAsItself(attr), nullptr)))
    return true;
  if (!Enter(attr)) return false;
  Listed below = EachName(path, len, OpenBelow, nullptr);
  return below == kStopped || below == kBroken;
}

// Asking for the right to delete, while sharing everything, changes nothing
// and fails only when a holder refuses to share its deletion. The whole tree
// below a folder is walked again at each try: a hold let go of may leave
// another.
static bool HeldNow(const char* path) {
  static wchar_t below[kLongPath];
  const Wide w = Widen(path);
  DWORD attr = GetFileAttributesW(w.s);
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  if (Refused(CreateFileW(w.s, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, OpenAsItself(attr), nullptr)))
    return true;
  if (!Enter(attr)) return false;
  size_t len = std::wcslen(w.s);
  std::wmemcpy(below, w.s, len + 1);
  Listed listed = EachName(below, len, OpenBelow, nullptr);
  return listed == kStopped || listed == kBroken;
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
  const Wide w = Widen(path);
  DWORD attr = GetFileAttributesW(w.s);
  if (attr == INVALID_FILE_ATTRIBUTES) return true;
  DWORD rights = DELETE | (attr & FILE_ATTRIBUTE_READONLY ? FILE_WRITE_ATTRIBUTES : 0);
  HANDLE h = CreateFileW(w.s, rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, OpenAsItself(attr), nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_ACCESS_DENIED;
  CloseHandle(h);
  return true;
}

static bool CountOne(wchar_t* path, size_t len, DWORD, void* given) {
  int& names = *static_cast<int*>(given);
  const wchar_t* name = path + len;
  while (name > path && name[-1] != L'\\') name--;
  if (!LeftByExplorer(name)) names++;
  return names >= 2;
}

int CountNames(const char* path) {
  static wchar_t buf[kLongPath];
  const Wide w = Widen(path);
  size_t len = std::wcslen(w.s);
  std::wmemcpy(buf, w.s, len + 1);
  int names = 0;
  Listed listed = EachName(buf, len, CountOne, &names);
  return listed == kUnreadable || listed == kBroken ? -1 : names;
}

// A probe file that the system deletes as its handle closes, however this
// process ends, tells what the folder's real access rights allow.
bool Writable(const char* folder) {
  char probe[1024];
  int n = std::snprintf(probe, sizeof probe, "%s/QVR-%lu.probe", folder, GetCurrentProcessId());
  if (n < 0 || n >= static_cast<int>(sizeof probe)) return false;
  HANDLE h = CreateFileW(Widen(probe).s, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// A volume is known by the folder it is mounted on ("C:\\" or a mount point),
// taken without regard to letter case. (Its serial number would make Wine
// read the disk device and complain on the console.)
Room FreeSpace(const char* folder) {
  static wchar_t full[kLongPath], root[kLongPath];
  Room r = {};
  ULARGE_INTEGER avail, total;
  DWORD perCluster = 0, sector = 0, freeClusters = 0, clusters = 0;
  const Wide w = Widen(folder);
  DWORD n = GetFullPathNameW(w.s, kLongPath, full, nullptr);
  if (n == 0 || n >= kLongPath || !GetVolumePathNameW(full, root, kLongPath) ||
      !GetDiskFreeSpaceExW(w.s, &avail, &total, nullptr) ||
      !GetDiskFreeSpaceW(root, &perCluster, &sector, &freeClusters, &clusters))
    return r;
  r.known = true;
  r.free = avail.QuadPart;
  r.total = total.QuadPart;
  r.unit = std::uint64_t{perCluster} * sector;
  r.volume = 1469598103934665603ull;  // FNV-1a of the upper-cased name
  for (const wchar_t* c = root; *c; c++)
    r.volume =
        (r.volume ^ (*c < 128 ? static_cast<unsigned>(std::toupper(*c)) : *c)) * 1099511628211ull;
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
