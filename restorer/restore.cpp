#include "restore.h"

#include "fileset.h"
#include "fs.h"
#include "survey.h"

static constexpr const char* kArchiveNotBack = "Can't put back %s file.\n";
static constexpr const char* kSoundsNotBack = "Can't put back SOUNDS folder.\n";
static constexpr const char* kNotOnDisk =
    "Can't write the changes to the disk.\nRun Reinstall_QVRPt1 again.\n";

// What the restore would rename or delete, in its order: the sounds, then
// each live archive that a backup file replaces, and that backup; null after.
static int Touched(const Survey& s, const char** names) {
  int n = 0;
  if (s.soundsPt1 != kNone && !OwnSounds(s)) {
    names[n++] = kSounds;
    names[n++] = kSoundsPt1;
  }
  for (int i = 0; i < kArchiveCount; i++) {
    if (s.backup[i] != kFile) continue;
    names[n++] = kArchives[i].live;
    names[n++] = kArchives[i].backup;
  }
  names[n] = nullptr;
  return n;
}

// The sounds come back first, the reverse of the install, so that a
// SOUNDS.QVRPt1 beside no second-part data is always the player's own, which
// stays. The second part's go to SOUNDS.QVRPt2, or when the download was
// unpacked there again, beside it under the first free numbered name, and
// back to SOUNDS when the first part's cannot take it: the game is never
// left without sounds. With second-part data there but neither sound folder
// aside, the live sounds are the second part's and the first part's are gone.
static bool PutBackSounds(const Survey& s, Run& run) {
  if (OwnSounds(s)) return true;
  bool back = s.soundsPt2 != kNone || !SecondPartThere(s);
  if (s.soundsPt1 != kNone) {
    Moved pt2 = {kOk, ""};
    if (s.sounds != kNone) pt2 = MoveToNumbered(kSounds, kSoundsPt2, run.patience);
    back = pt2.fault == kOk && Move(kSoundsPt1, kSounds, run.patience) == kOk;
    if (!back && pt2.fault == kOk && pt2.to[0]) Move(pt2.to, kSounds, run.patience);
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
  if (s.backup[i] != kNone) {
    Fault cleared = kOk;
    if (s.backup[i] == kFile && (cleared = ClearReadOnly(a.live)) == kOk)
      cleared = Delete(a.live, run.patience);
    back = (cleared == kOk || cleared == kGone) && Move(a.backup, a.live, run.patience) == kOk;
  }
  if (!back) std::fprintf(run.con, kArchiveNotBack, FileName(a.live));
  return back;
}

int RunRestore(Run& run) {
  run.patience.say = run.con;
  const Survey s = TakeSurvey();
  static const char* const folders[] = {kDataFolder, kGameFolder, nullptr};
  const char* names[3 + 2 * kArchiveCount];
  // With nothing to put back, nothing need be writable.
  const bool any = Touched(s, names) > 0;
  if (Said refused = Untouchable(kRestorer, any ? folders : names, names, run.patience);
      refused.text[0]) {
    std::fputs(refused.text, run.con);
    return 1;
  }
  // Without the first part's sounds the second part stays whole and plays,
  // and the next run tries them again.
  if (!PutBackSounds(s, run)) return 1;
  bool back = true;
  for (int i = 0; i < kArchiveCount; i++) back = PutBackArchive(s, i, run) && back;
  // The first part is back only once the names are on the disk.
  bool synced = SyncFolder(kDataFolder);
  synced = SyncFolder(kGameFolder) && synced;
  if (!synced) std::fputs(kNotOnDisk, run.con);
  return back && synced ? 0 : 1;
}
