#include "restore.h"

#include "fileset.h"
#include "fs.h"

void RunRestore() {
  // A live archive without a backup is the only copy the game has: keep it.
  for (const ArchivePaths& a : kArchives) {
    if (IsFile(a.backup)) Delete(a.live);
  }
  for (const ArchivePaths& a : kArchives) Move(a.backup, a.live);
  Move(kSounds, kSoundsPt2);
  Move(kSoundsPt1, kSounds);
}
