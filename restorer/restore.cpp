#include "restore.h"

#include "fileset.h"
#include "fs.h"

static constexpr const char* kArchiveNotBack = "Can't put back %s file.\n";
static constexpr const char* kSoundsNotBack = "Can't put back SOUNDS folder.\n";
static constexpr const char* kNotOnDisk =
    "Can't write the changes to the disk.\nRun Reinstall_QVRPt1 again.\n";

// The running game holds its archives and sounds; deleting or moving some and
// then failing on the next would leave a half-swapped game. Returns the first
// file or folder the restore would touch that another program holds.
static const char* Held() {
  for (const ArchivePaths& a : kArchives) {
    if (!IsFile(a.backup)) continue;
    if (InUse(a.live)) return a.live;
    if (InUse(a.backup)) return a.backup;
  }
  if (Exists(kSoundsPt1)) {
    if (InUse(kSounds)) return kSounds;
    if (InUse(kSoundsPt1)) return kSoundsPt1;
  }
  return nullptr;
}

// Whether anything of the first part waits under a .QVRPt1 name.
static bool AnythingAside() {
  for (const ArchivePaths& a : kArchives)
    if (Exists(a.backup)) return true;
  return Exists(kSoundsPt1);
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

int RunRestore(FILE* con) {
  if (const char* held = Held()) {
    std::fprintf(con, kInUse, FileName(held), kRestorer);
    return 1;
  }
  // Refused half-way, the game would be left half-swapped.
  if (AnythingAside() && (!Writable(kDataFolder) || !Writable(kGameFolder))) {
    std::fprintf(con, kCantWrite, kRestorer);
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
  bool synced = SyncFolder(kDataFolder);
  synced = SyncFolder(kGameFolder) && synced;
  bool back = AllPutBack(con);
  if (!synced) std::fputs(kNotOnDisk, con);
  return back && synced ? 0 : 1;
}
