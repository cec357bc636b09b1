#include "swap.h"

#include "decode.h"
#include "fileset.h"
#include "fs.h"

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
// Said, with the archive's name, when the game has lost it.
static constexpr const char* kNoLive =
    "Can't find %s file.\nReinstall QVR Part1, then run QVRPt2Installer_mod again.\n";

// Why `path` would not move, as the player must hear it: held by another
// program (`held` says so), or not the player's to change.
static Said Refused(Fault why, const char* path, const char* held = kInUse) {
  if (why == kDenied) return Say(kCantWrite, kInstaller, "");
  return Say(held, FileName(path), kInstaller);
}

// An archive that would not move aside: the ones moved before it go back, so
// the game is as it was, and nothing is decoded.
static Said NotMovedAside(int stuck, Fault why, Patience& p) {
  bool back = true;
  for (int i = stuck; i-- > 0;)
    back = Move(kArchives[i].backup, kArchives[i].live, p) == kOk && back;
  return Refused(why, kArchives[stuck].live, back ? kInUse : kHeldHalfway);
}

Said DataSwap(const Survey& s, FILE* con, Patience& p) {
  // Beside archives aside, a run cut off later would leave it passing for
  // the first part's sounds.
  if (OwnSounds(s))
    if (Fault f = MoveToNumbered(kSoundsPt1, kSoundsPt1, p); f != kOk)
      return Refused(f, kSoundsPt1);
  for (int i = 0; i < kArchiveCount; i++)
    if (Fault f = Move(kArchives[i].live, kArchives[i].backup, p); f != kOk)
      return NotMovedAside(i, f, p);
  for (const DecodeUse& use : kDecodes) {
    if (const char* fail = DecodeCopy(use, con)) return Say(fail);
  }
  // The game must not be left without sounds, nor pass for the second part
  // with the first part's.
  if (Move(kSounds, kSoundsPt1, p) != kOk) return Say(kSoundsStuck);
  if (Move(kSoundsPt2, kSounds, p) != kOk) return Say(kNoSounds);
  return Say(nullptr);
}

Said SwapInputMissing() {
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
