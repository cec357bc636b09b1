// The POSIX side of the platform layer: what the programs ask of the disk.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>

#include "sys.h"

Stat What(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return {kNone, 0};
  if (S_ISLNK(st.st_mode)) return {kLink, 0};
  if (S_ISDIR(st.st_mode)) return {kFolder, 0};
  return {kFile, static_cast<std::uint64_t>(st.st_size)};
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
    n += std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..") && !LeftByExplorer(e->d_name);
  closedir(d);
  return n;
}

Fault Writable(const char* folder) {
  return FaultOf(access(folder, W_OK | X_OK) == 0 ? 0 : errno);
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
