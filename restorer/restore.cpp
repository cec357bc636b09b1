#include "restore.h"

#include "fileset.h"
#include "fs.h"

int RunRestore(FILE* con) {
  if (TakeLock(kLockFile) == kLockBusy) {
    std::fputs(kBusy, con);
    return 1;
  }
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
  return 0;
}
