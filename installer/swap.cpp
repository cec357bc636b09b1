#include "swap.h"

#include <cstring>

#include "decode.h"
#include "fileset.h"
#include "fs.h"
#include "run.h"

static constexpr const char* kNoSounds = "\nCan't move SOUNDS.QVRPt2 folder.\n";
static constexpr const char* kSoundsStuck = "\nCan't move SOUNDS folder.\n";

// The second part's archives in the order they are decoded.
static const DecodeUse kDecodes[] = {
    {kArchives[kSprites].live, "\nCan't open SPRITES.LOD file.\n", kArchives[kSprites].source,
     "\nCan't open SPRITES.LOD.QVRPt2 file.\n", "\nCan't read SPRITES.LOD.QVRPt2 file.\n",
     "\nDecoding SPRITES.LOD.\n", kArchives[kSprites].size, 0xD1},
    {kArchives[kGames].live, "\nCan't open Games.lod file.\n", kArchives[kGames].source,
     "\nCan't open Games.lod.QVRPt2 file.\n", "\nCan't read Games.lod.QVRPt2 file.\n",
     "\nDecoding Games.lod.\n", kArchives[kGames].size, 0x6E},
    {kArchives[kBitmaps].live, "\nCan't open BITMAPS.LOD file.\n", kArchives[kBitmaps].source,
     "\nCan't open BITMAPS.LOD.QVRPt2 file.\n", "\nCan't read BITMAPS.LOD.QVRPt2 file.\n",
     "\nDecoding BITMAPS.LOD.\n", kArchives[kBitmaps].size, 0x29},
    {kArchives[kIcons].live, "Can't open ICONS.LOD file.\n", kArchives[kIcons].source,
     "Can't open ICONS.LOD.QVRPt2 file.\n", "Can't read ICONS.LOD.QVRPt2 file.\n",
     "\nDecoding ICONS.LOD.\n", kArchives[kIcons].size, 0x3C},
};

// Said, with the archive's name, when it would not move aside and the ones
// moved before it could not go back either.
static constexpr const char* kHeldHalfway =
    "%s is in use by another program.\n"
    "Close the game, run Reinstall_QVRPt1, then run %s again.\n";
// Said, with the name, for a move that failed for another cause than a hold
// or a right: an I/O error, a disk that no longer answers.
static constexpr const char* kDiskError =
    "Can't move %s file.\nThe disk reported an error. Check it, then run %s again.\n";
// Added when what a stopped install did could not all be undone.
static constexpr const char* kUndoFailed =
    "Run Reinstall_QVRPt1, then QVRPt2Installer_mod again.\n";
// Said, with the archive's name, when the game has lost it.
static constexpr const char* kNoLive =
    "Can't find %s file.\nReinstall QVR Part1, then run QVRPt2Installer_mod again.\n";
static constexpr const char* kNoDownload =
    "Can't find the DATA.QVRPt2 folder.\n"
    "Unpack the QVR Part2 download beside DATA, then run QVRPt2Installer_mod again.\n";

// Why `path` would not move, in the player's words, and what to run when what
// the install did could not all be undone.
static Said NotMoved(Fault why, const char* path, bool undone) {
  Said said = Refusal(why, path, kInstaller);
  if (!said.text[0]) said = Say(kDiskError, FileName(path), kInstaller);
  if (undone) return said;
  if (why == kHeld) return Say(kHeldHalfway, FileName(path), kInstaller);
  std::strncat(said.text, kUndoFailed, sizeof said.text - std::strlen(said.text) - 1);
  return said;
}

// Puts the game back as this run found it, and says whether all of it went
// back: the first part's sounds when they went aside, the first `made`
// decoded archives deleted (this run's own, whole or in part), the first
// `aside` archives moved back, all on the disk.
static bool Undo(bool soundsAside, int made, int aside, Patience& p) {
  bool back = !soundsAside || Move(kSoundsPt1, kSounds, p) == kOk;
  for (int i = 0; i < made; i++) back = Delete(kDecodes[i].dest, p) == kOk && back;
  for (int i = aside; i-- > 0;)
    back = Move(kArchives[i].backup, kArchives[i].live, p) == kOk && back;
  back = SyncFolder(kDataFolder) && back;
  return SyncFolder(kGameFolder) && back;
}

// A stop after anything moved undoes it, so the game plays as before: the
// stop's own message stays, and says what to run when the undo failed too.
Said DataSwap(const Survey& s, FILE* con, Patience& p) {
  // Beside archives aside, a run cut off later would leave it passing for
  // the first part's sounds.
  if (OwnSounds(s))
    if (Fault f = MoveToNumbered(kSoundsPt1, kSoundsPt1, p).fault; f != kOk)
      return NotMoved(f, kSoundsPt1, true);
  int aside = 0;
  Fault f = kOk;
  while (aside < kArchiveCount &&
         (f = Move(kArchives[aside].live, kArchives[aside].backup, p)) == kOk)
    aside++;
  if (f != kOk) return NotMoved(f, kArchives[aside].live, Undo(false, 0, aside, p));
  const char* stop = nullptr;
  int made = 0;
  for (const DecodeUse& use : kDecodes) {
    if (stop) break;
    stop = DecodeCopy(use, con);
    made += stop != use.destOpenFail;  // a name it could not make was another's
  }
  // The game must not be left without sounds, nor pass for the second part
  // with the first part's.
  bool soundsAside = !stop && Move(kSounds, kSoundsPt1, p) == kOk;
  if (!stop)
    stop = !soundsAside ? kSoundsStuck : Move(kSoundsPt2, kSounds, p) != kOk ? kNoSounds : nullptr;
  if (!stop) return Say(nullptr);
  return Undo(soundsAside, made, kArchiveCount, p) ? Say(stop) : Say("%s%s", stop, kUndoFailed);
}

Said SwapInputMissing() {
  if (Kind download = What(kDataPt2).kind; download != kFolder && download != kLink)
    return Say(kNoDownload);
  for (const DecodeUse& use : kDecodes) {
    Kind live = What(use.dest).kind;
    if (live == kNone || live == kFolder) return Say(kNoLive, FileName(use.dest), "");
    if (const char* missing = SourceMissing(use)) return Say(missing);
  }
  // Folders on another disk, linked here, move as their links.
  Kind pt2 = What(kSoundsPt2).kind, live = What(kSounds).kind;
  if (pt2 != kFolder && pt2 != kLink) return Say(kNoSounds);
  return Say(live == kFolder || live == kLink ? nullptr : kSoundsStuck);
}

std::uint64_t ArchiveBytes(std::uint64_t unit) {
  std::uint64_t bytes = 0;
  for (const DecodeUse& use : kDecodes) bytes += SizeOnDisk(use, unit);
  return bytes;
}
