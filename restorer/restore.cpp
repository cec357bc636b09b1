#include "restore.h"

#include "fileset.h"
#include "fs.h"

static constexpr const char* kNoData =
    "Can't find the DATA folder.\nStart Reinstall_QVRPt1 in the game's save folder.\n";
static constexpr const char* kArchiveNotBack = "Can't put back %s file.\n";
static constexpr const char* kSoundsNotBack = "Can't put back SOUNDS folder.\n";

// The running game holds its archives; deleting some and then failing on the
// next would leave a half-swapped game.
static bool AnyInUse(FILE* con) {
  for (const ArchivePaths& a : kArchives) {
    if (!IsFile(a.backup)) continue;
    const char* held[] = {a.live, a.backup};
    for (const char* path : held) {
      if (!InUse(path)) continue;
      std::fprintf(con, kInUse, FileName(path), "Reinstall_QVRPt1");
      return true;
    }
  }
  return false;
}

// Names what is still moved aside after the restore; true when nothing is.
static bool AllPutBack(FILE* con) {
  bool all = true;
  for (const ArchivePaths& a : kArchives) {
    if (!Exists(a.backup)) continue;
    std::fprintf(con, kArchiveNotBack, FileName(a.live));
    all = false;
  }
  if (Exists(kSoundsPt1)) {
    std::fputs(kSoundsNotBack, con);
    all = false;
  }
  return all;
}

const char* NotInSaveFolder() {
  return IsFolder(kDataFolder) ? nullptr : kNoData;
}

int RunRestore(FILE* con) {
  if (AnyInUse(con)) return 1;
  // A live archive without a backup is the only copy the game has: keep it.
  for (const ArchivePaths& a : kArchives) {
    if (IsFile(a.backup)) Delete(a.live);
  }
  for (const ArchivePaths& a : kArchives) Move(a.backup, a.live);
  // Without the first part's sounds to bring back, the live ones are all the game has.
  if (Exists(kSoundsPt1)) {
    Move(kSounds, kSoundsPt2);
    Move(kSoundsPt1, kSounds);
  }
  // The first part is back only once the names are on the disk.
  SyncFolder(kDataFolder);
  SyncFolder(kGameFolder);
  return AllPutBack(con) ? 0 : 1;
}
