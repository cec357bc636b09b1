// The few file-system operations the programs need, with the same rules on
// Windows and POSIX. Everything platform-specific lives in fs.cpp.
#pragma once

#include <cstdint>
#include <cstdio>

// Renames a file or folder. Never replaces anything: returns false and changes
// nothing when `to` already exists or `from` does not.
bool Move(const char* from, const char* to);

// The no-replace rename for file systems that refuse the kernel's own
// no-replace flag: a hard link then unlink for files, a check then rename for
// folders. Move uses it only there; it is exposed so tests can reach it.
bool MoveByCheck(const char* from, const char* to);

// Removes a file. Returns false, changing nothing, when there is no file of
// that name or it cannot be removed; a folder of that name is never removed.
bool Delete(const char* path);

// Creates a new file and opens it for binary writing. Returns null when
// anything of that name exists already, so nothing is ever appended to or cut.
FILE* CreateNew(const char* path);

// Places `f` at byte `pos` from the start of the file, beyond 2 and 4 GiB too.
// Returns false when the position cannot be reached.
bool Seek(FILE* f, std::uint64_t pos);

// True when `path` names an existing regular file (not a folder).
bool IsFile(const char* path);
