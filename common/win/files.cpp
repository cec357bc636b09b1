// The Windows side of the platform layer: what the programs do to files.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "sys.h"

// Without MOVEFILE_REPLACE_EXISTING the rename fails when the target exists,
// for files and folders alike, and without MOVEFILE_COPY_ALLOWED it never
// turns into a copy across drives. Its name lasts once its folder is flushed
// (SyncFolder).
Fault Move(const char* from, const char* to, Patience& p) {
  Wide a, b;
  if (!Widen(from, a) || !Widen(to, b)) return kFailed;
  for (Wait w;;) {
    if (MoveFileExW(a.s, b.s, 0)) return kOk;
    // A folder renamed onto a folder is refused as "access denied": a taken
    // name is never a hold. A folder is refused so too while anything inside
    // it is open, which only the in-use walk tells from a refused right.
    Fault f = FaultOf(GetLastError());
    if (What(to).kind != kNone) return kTaken;
    if (f == kDenied && What(from).kind == kFolder && HeldNow(from)) f = kHeld;
    if (f != kHeld || !WaitMore(p, w, from)) return f;
  }
}

Fault Delete(const char* path, Patience& p) {
  Wide name;
  if (!Widen(path, name)) return kFailed;
  for (Wait w;;) {
    if (DeleteFileW(name.s)) return kOk;
    Fault f = FaultOf(GetLastError());
    if (What(path).kind == kFolder) return kFailed;
    if (f != kHeld || !WaitMore(p, w, path)) return f;
  }
}

Fault ClearReadOnly(const char* path) {
  Wide w;
  if (!Widen(path, w)) return kFailed;
  DWORD attr = GetFileAttributesW(w.s);
  if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_READONLY)) return kOk;
  return SetFileAttributesW(w.s, attr & ~FILE_ATTRIBUTE_READONLY) ? kOk : FaultOf(GetLastError());
}

FILE* CreateNew(const char* path) {
  Wide w;
  int fd = Widen(path, w)
               ? _wopen(w.s, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE)
               : -1;
  FILE* f = fd < 0 ? nullptr : _fdopen(fd, "wb");
  if (!f && fd >= 0) _close(fd);
  return f;
}

FILE* OpenToRead(const char* path) {
  Wide w;
  return Widen(path, w) ? _wfopen(w.s, L"rb") : nullptr;
}

bool Seek(FILE* f, std::uint64_t pos) {
  return pos <= static_cast<std::uint64_t>(INT64_MAX) &&
         _fseeki64(f, static_cast<__int64>(pos), SEEK_SET) == 0;
}

bool Sync(FILE* f) {
  return std::fflush(f) == 0 && _commit(_fileno(f)) == 0;
}

void StartWriteBack(FILE*, std::uint64_t) {}

// A folder is flushed through a handle of its own, which only backup
// semantics give, opened for writing as FlushFileBuffers requires.
bool SyncFolder(const char* path) {
  Wide w;
  HANDLE h =
      Widen(path, w)
          ? CreateFileW(w.s, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
          : INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) return FaultOf(GetLastError()) == kUnsupported;
  bool ok = FlushFileBuffers(h) || FaultOf(GetLastError()) == kUnsupported;
  CloseHandle(h);
  return ok;
}

// Opened sharing nothing, a second open fails while the handle lives. Only a
// lock file that this run created goes with its handle, so that the save
// folder stays clean; one there already (left by a power cut, or a link of
// its name) is opened as itself and never deleted.
Fault TakeLock(const char* path, Lock* lock) {
  Wide w;
  if (!Widen(path, w)) return kFailed;
  const DWORD rw = GENERIC_READ | GENERIC_WRITE, itself = FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE h =
      CreateFileW(w.s, rw, 0, nullptr, CREATE_NEW, itself | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE && FaultOf(GetLastError()) == kTaken)
    h = CreateFileW(w.s, rw, 0, nullptr, OPEN_EXISTING, itself, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FaultOf(GetLastError());
  lock->held = reinterpret_cast<std::intptr_t>(h);
  return kOk;
}

void DropLock(Lock* lock) {
  if (lock->held != -1) CloseHandle(reinterpret_cast<HANDLE>(lock->held));
  lock->held = -1;
}
