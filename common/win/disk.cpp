// The Windows side of the platform layer: what the programs ask of the disk.
#include <cctype>
#include <cstring>
#include <cwchar>

#include "sys.h"

Stat What(const char* path) {
  Wide w;
  WIN32_FIND_DATAW d = {};  // Wine leaves the reparse tag as it finds it
  HANDLE find = Widen(path, w)
                    ? FindFirstFileExW(w.s, FindExInfoBasic, &d, FindExSearchNameMatch, nullptr, 0)
                    : INVALID_HANDLE_VALUE;
  if (find == INVALID_HANDLE_VALUE) return {kNone, 0};
  FindClose(find);
  if (IsLink(d.dwFileAttributes, d.dwReserved0)) return {kLink, 0};
  if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {kFolder, 0};
  return {kFile, std::uint64_t{d.nFileSizeHigh} << 32 | d.nFileSizeLow};
}

// What an open made only to ask came to; a handle it got is closed at once.
static Fault Asked(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return FaultOf(GetLastError());
  CloseHandle(h);
  return kOk;
}

// How to open a name itself: a folder only with backup semantics, a reparse
// point as itself, never what it leads to.
static DWORD OpenAsItself(DWORD attr) {
  return (attr & FILE_ATTRIBUTE_DIRECTORY ? FILE_FLAG_BACKUP_SEMANTICS : 0) |
         (attr & FILE_ATTRIBUTE_REPARSE_POINT ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
}

// Whether anything below the folder named by the first `len` characters of
// `path` (a kLongPath buffer) is open in another program. Asking for the
// right to delete without sharing anything fails while any other program has
// a name open, to read, write or delete it or as its current folder. A link
// is passed over: what it leads to is no part of the folder, and may lead
// back up the tree (and Wine would open that, not the link). A listing cut
// short cannot rule out a hold; a folder that cannot be listed at all was
// asked as itself.
static bool HeldBelow(wchar_t* path, std::size_t len) {
  if (len + 2 >= kLongPath) return false;
  std::wmemcpy(path + len, L"\\*", 3);
  WIN32_FIND_DATAW d = {};
  HANDLE find = FindFirstFileW(path, &d);
  path[len] = L'\0';
  if (find == INVALID_HANDLE_VALUE) return false;
  bool held = false;
  do {
    std::size_t n = std::wcslen(d.cFileName);
    DWORD attr = d.dwFileAttributes;
    if (!std::wcscmp(d.cFileName, L".") || !std::wcscmp(d.cFileName, L"..") ||
        IsLink(attr, d.dwReserved0))
      continue;
    held = len + 1 + n >= kLongPath;  // longer than Windows allows
    if (held) break;
    path[len] = L'\\';
    std::wmemcpy(path + len + 1, d.cFileName, n + 1);
    held = Asked(CreateFileW(path, DELETE, 0, nullptr, OPEN_EXISTING, OpenAsItself(attr),
                             nullptr)) == kHeld ||
           ((attr & FILE_ATTRIBUTE_DIRECTORY) && HeldBelow(path, len + 1 + n));
  } while (!held && FindNextFileW(find, &d));
  held = held || GetLastError() != ERROR_NO_MORE_FILES;
  FindClose(find);
  path[len] = L'\0';
  return held;
}

// Asking for the right to delete, while sharing everything, changes nothing
// and fails only when a holder refuses to share its deletion. The whole tree
// is walked again at each try: a hold let go of may leave another.
bool HeldNow(const char* path) {
  static wchar_t below[kLongPath];
  Wide w;
  DWORD attr = Widen(path, w) ? GetFileAttributesW(w.s) : INVALID_FILE_ATTRIBUTES;
  if (attr == INVALID_FILE_ATTRIBUTES) return false;
  if (Asked(CreateFileW(w.s, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, OpenAsItself(attr), nullptr)) == kHeld)
    return true;
  if (What(path).kind != kFolder) return false;
  std::wcscpy(below, w.s);
  return HeldBelow(below, std::wcslen(below));
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
  Wide w;
  if (!Widen(path, w)) return false;
  DWORD attr = GetFileAttributesW(w.s);
  if (attr == INVALID_FILE_ATTRIBUTES) return true;
  DWORD rights = DELETE | (attr & FILE_ATTRIBUTE_READONLY ? FILE_WRITE_ATTRIBUTES : 0);
  return Asked(CreateFileW(w.s, rights, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, OpenAsItself(attr), nullptr)) != kDenied;
}

int CountNames(const char* path) {
  Wide w;
  WIN32_FIND_DATAW d;
  HANDLE find = Widen(path, w) && std::wcslen(w.s) + 3 < 1024
                    ? FindFirstFileW(std::wcscat(w.s, L"\\*"), &d)
                    : INVALID_HANDLE_VALUE;
  if (find == INVALID_HANDLE_VALUE) return -1;
  int names = 0;
  do {
    char name[64];  // a longer name is none of Explorer's
    bool left =
        WideCharToMultiByte(CP_UTF8, 0, d.cFileName, -1, name, sizeof name, nullptr, nullptr) &&
        LeftByExplorer(name);
    names += !left && std::wcscmp(d.cFileName, L".") && std::wcscmp(d.cFileName, L"..");
  } while (names < 2 && FindNextFileW(find, &d));
  bool whole = names >= 2 || GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  return whole ? names : -1;
}

// A probe file that the system deletes as its handle closes, however this
// process ends, tells what the folder's real access rights allow.
Fault Writable(const char* folder) {
  char probe[1024];
  Wide w;
  int n = std::snprintf(probe, sizeof probe, "%s/QVR-%lu.probe", folder, GetCurrentProcessId());
  if (n < 0 || n >= static_cast<int>(sizeof probe) || !Widen(probe, w)) return kFailed;
  return Asked(CreateFileW(w.s, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

// A volume is known by the folder it is mounted on ("C:\\" or a mount point),
// taken without regard to letter case. (Its serial number would make Wine
// read the disk device and complain on the console.)
Room FreeSpace(const char* folder) {
  static wchar_t root[kLongPath];
  Room r = {};
  ULARGE_INTEGER avail, total;
  DWORD perCluster = 0, sector = 0, freeClusters = 0, clusters = 0;
  Wide w;
  if (!Widen(folder, w) || !GetVolumePathNameW(w.s, root, kLongPath) ||
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
