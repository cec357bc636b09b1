#include "restore.h"

#include "fileset.h"
#include "fs.h"
#include "survey.h"

static constexpr const char* kArchiveNotBack = "Can't put back %s file.\n";
static constexpr const char* kSoundsNotBack = "Can't put back SOUNDS folder.\n";
static constexpr const char* kNotOnDisk =
    "Can't write the changes to the disk.\nRun Reinstall_QVRPt1 again.\n";

// The running game holds its archives and sounds; deleting or moving some and
// then failing on the next would leave a half-swapped game. Returns the first
// file or folder the restore would touch that another program holds.
static const char* Held(const Survey& s, Patience& p) {
  for (int i = 0; i < kArchiveCount; i++) {
    if (!s.backupFile[i]) continue;
    if (InUse(kArchives[i].live, p)) return kArchives[i].live;
    if (InUse(kArchives[i].backup, p)) return kArchives[i].backup;
  }
  if (s.soundsPt1) {
    if (InUse(kSounds, p)) return kSounds;
    if (InUse(kSoundsPt1, p)) return kSoundsPt1;
  }
  return nullptr;
}

// Puts the first part's archive `i` back, or says it cannot. An install that
// got as far as the sounds had moved every archive aside, so a backup missing
// then is one the player deleted: the live archive, the only copy the game
// has, is kept, but the first part is not back.
static bool PutBackArchive(const Survey& s, int i, Run& run) {
  const ArchivePaths& a = kArchives[i];
  bool back = !s.soundsPt1;
  if (s.backup[i]) {
    // Only a backup that is a file lets the live archive go.
    bool cleared = !s.backupFile[i] || Delete(a.live, &run.patience) || !Exists(a.live);
    back = cleared && Move(a.backup, a.live, &run.patience);
  }
  if (!back) std::fprintf(run.con, kArchiveNotBack, FileName(a.live));
  return back;
}

// Brings the first part's sounds back, or says it cannot. The second part's
// go to SOUNDS.QVRPt2, or when the download was unpacked there again, beside
// it under the first free numbered name. Without the first part's sounds to
// bring back, the live ones are all the game has.
static bool PutBackSounds(const Survey& s, Run& run) {
  if (!s.soundsPt1) return true;
  bool cleared = !s.sounds || (s.soundsPt2 ? MoveToNumbered(kSounds, kSoundsPt2, &run.patience)
                                           : Move(kSounds, kSoundsPt2, &run.patience));
  if (cleared && Move(kSoundsPt1, kSounds, &run.patience)) return true;
  std::fputs(kSoundsNotBack, run.con);
  return false;
}

int RunRestore(Run& run) {
  run.patience.say = run.con;
  const Survey s = TakeSurvey();
  if (const char* held = Held(s, run.patience)) {
    std::fprintf(run.con, kInUse, FileName(held), kRestorer);
    return 1;
  }
  // Refused half-way, the game would be left half-swapped.
  if (AnythingAside(s) && (!Writable(kDataFolder) || !Writable(kGameFolder))) {
    std::fprintf(run.con, kCantWrite, kRestorer);
    return 1;
  }
  bool back = true;
  for (int i = 0; i < kArchiveCount; i++) back = PutBackArchive(s, i, run) && back;
  back = PutBackSounds(s, run) && back;
  // The first part is back only once the names are on the disk.
  bool synced = SyncFolder(kDataFolder);
  synced = SyncFolder(kGameFolder) && synced;
  if (!synced) std::fputs(kNotOnDisk, run.con);
  return back && synced ? 0 : 1;
}
