#include "restore.h"

#include "fileset.h"
#include "fs.h"
#include "survey.h"

static constexpr const char* kArchiveNotBack = "Can't put back %s file.\n";
static constexpr const char* kSoundsNotBack = "Can't put back SOUNDS folder.\n";
static constexpr const char* kNotOnDisk =
    "Can't write the changes to the disk.\nRun Reinstall_QVRPt1 again.\n";

// What the restore would rename or delete, in its order: the sounds, then
// each live archive that a backup file replaces, and that backup. Returns
// how many went to `paths`.
static int Touched(const Survey& s, const char* paths[]) {
  int n = 0;
  if (s.soundsPt1 && !OwnSounds(s)) {
    paths[n++] = kSounds;
    paths[n++] = kSoundsPt1;
  }
  for (int i = 0; i < kArchiveCount; i++) {
    if (!s.backupFile[i]) continue;
    paths[n++] = kArchives[i].live;
    paths[n++] = kArchives[i].backup;
  }
  return n;
}

// The sounds come back first, the reverse of the install, so that a
// SOUNDS.QVRPt1 beside no second-part data is always the player's own, which
// stays. The second part's go to SOUNDS.QVRPt2, or when the download was
// unpacked there again, beside it under the first free numbered name. With
// second-part data there but neither sound folder aside, the live sounds are
// the second part's and the first part's are gone.
static bool PutBackSounds(const Survey& s, Run& run) {
  if (OwnSounds(s)) return true;
  bool back = s.soundsPt2 || !SecondPartThere(s);
  if (s.soundsPt1) {
    Fault cleared = !s.sounds     ? kOk
                    : s.soundsPt2 ? MoveToNumbered(kSounds, kSoundsPt2, &run.patience)
                                  : Move(kSounds, kSoundsPt2, &run.patience);
    back = cleared == kOk && Move(kSoundsPt1, kSounds, &run.patience) == kOk;
  }
  if (!back) std::fputs(kSoundsNotBack, run.con);
  return back;
}

// Puts the first part's archive `i` back, or says it cannot. Without its
// backup it is back already, unless the live archive is the second part's:
// that one is kept, the only copy the game has, but the first part is not
// back. Only a backup that is a file lets the live archive go, whatever its
// read-only mark; a folder of the backup's name moves only to a free name.
static bool PutBackArchive(const Survey& s, int i, Run& run) {
  const ArchivePaths& a = kArchives[i];
  bool back = !s.pt2[i];
  if (s.backup[i]) {
    Fault cleared = kOk;
    if (s.backupFile[i] && (cleared = ClearReadOnly(a.live)) == kOk)
      cleared = Delete(a.live, &run.patience);
    back = (cleared == kOk || cleared == kGone) && Move(a.backup, a.live, &run.patience) == kOk;
  }
  if (!back) std::fprintf(run.con, kArchiveNotBack, FileName(a.live));
  return back;
}

int RunRestore(Run& run) {
  run.patience.say = run.con;
  const Survey s = TakeSurvey();
  const char* touched[2 + 2 * kArchiveCount];
  const int n = Touched(s, touched);
  // The running game holds its archives and sounds; deleting or moving some
  // and then failing on the next would leave a half-swapped game.
  for (int k = 0; k < n; k++) {
    if (!InUse(touched[k], run.patience)) continue;
    std::fprintf(run.con, kInUse, FileName(touched[k]), kRestorer);
    return 1;
  }
  // Refused half-way, the game would be left half-swapped too.
  bool mayWrite = !SecondPartThere(s) || (Writable(kDataFolder) && Writable(kGameFolder));
  for (int k = 0; k < n; k++) mayWrite = mayWrite && MayChange(touched[k]);
  if (!mayWrite) {
    std::fprintf(run.con, kCantWrite, kRestorer);
    return 1;
  }
  bool back = PutBackSounds(s, run);
  for (int i = 0; i < kArchiveCount; i++) back = PutBackArchive(s, i, run) && back;
  // The first part is back only once the names are on the disk.
  bool synced = SyncFolder(kDataFolder);
  synced = SyncFolder(kGameFolder) && synced;
  if (!synced) std::fputs(kNotOnDisk, run.con);
  return back && synced ? 0 : 1;
}
