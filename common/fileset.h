// The names of everything the two programs touch, relative to the game's save
// folder, which must be the working folder of both programs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

inline constexpr const char* kSave = "save000.zsv";
inline constexpr const char* kSaveBackup = "save000.zsv.Original";
inline constexpr const char* kTemplate = "CrackerFile";
// The second part's starting save while it is built; it takes the save's name
// only once the whole install is in place.
inline constexpr const char* kNewSave = "save000.zsv.QVRPt2";

// Held by whichever of the two programs runs, so that a second one started in
// the same folder (a double-click too many) stops before touching anything.
inline constexpr const char* kLockFile = "QVR.lock";
inline constexpr const char* kBusy =
    "Another copy of QVRPt2Installer_mod or Reinstall_QVRPt1 is running in this folder.\n";

// The folders whose names change, for pushing those names to the disk.
inline constexpr const char* kSaveFolder = ".";
inline constexpr const char* kGameFolder = "..";
inline constexpr const char* kDataFolder = "../DATA";

inline constexpr const char* kInstaller = "QVRPt2Installer_mod";
inline constexpr const char* kRestorer = "Reinstall_QVRPt1";

// Said, with a file's name and the program's, when the game holds that file.
inline constexpr const char* kInUse =
    "%s is in use by another program.\nClose the game, then run %s again.\n";
// Said once a run, with the name, when a hold has been waited on for a second.
inline constexpr const char* kWaiting = "Waiting for another program to let go of %s.\n";
// Said, with the program's name, when the player may not change the game's
// folders (a game under Program Files, without administrator rights).
inline constexpr const char* kCantWrite =
    "Can't write to the game's folders.\n"
    "Run %s as administrator, or move the game out of Program Files.\n";
// Said, with the program's name, when the game's disk takes no changes at all.
inline constexpr const char* kReadOnlyDisk =
    "The game's disk is write-protected.\n"
    "Allow writing to it, or copy the game to another disk, then run %s again.\n";

inline constexpr const char* kDataPt2 = "../DATA.QVRPt2";
inline constexpr const char* kSounds = "../SOUNDS";
inline constexpr const char* kSoundsPt1 = "../SOUNDS.QVRPt1";
inline constexpr const char* kSoundsPt2 = "../SOUNDS.QVRPt2";

// The four data archives, in the order both programs move them aside and back.
enum ArchiveId { kIcons, kGames, kBitmaps, kSprites, kArchiveCount };

struct ArchivePaths {
  const char* live;    // what the game reads
  const char* backup;  // the first part's archive while the second part is installed
  const char* source;  // the second part's archive, scrambled
  // The second part's archive decoded is exactly this long, which no first
  // part's archive is: a live archive of this size is the second part's.
  std::int32_t size;
};

inline constexpr ArchivePaths kArchives[kArchiveCount] = {
    {"../DATA/ICONS.LOD", "../DATA/ICONS.LOD.QVRPt1", "../DATA.QVRPt2/ICONS.LOD.QVRPt2", 29266966},
    {"../DATA/Games.lod", "../DATA/Games.lod.QVRPt1", "../DATA.QVRPt2/Games.lod.QVRPt2", 6821557},
    {"../DATA/BITMAPS.LOD", "../DATA/BITMAPS.LOD.QVRPt1", "../DATA.QVRPt2/BITMAPS.LOD.QVRPt2",
     47012483},
    {"../DATA/SPRITES.LOD", "../DATA/SPRITES.LOD.QVRPt1", "../DATA.QVRPt2/SPRITES.LOD.QVRPt2",
     49368253},
};

// A message for the player, made where the names are known: a value that
// the caller keeps until it prints it. An empty text says nothing. `format`
// is one of the programs' messages, which hold no % but their own %s.
struct Said {
  char text[256];
};
inline Said Say(const char* format, const char* a = "", const char* b = "") {
  Said s = {};
  if (format) std::snprintf(s.text, sizeof s.text, format, a, b);
  return s;
}

// The name of a file of the set without its folder, as messages show it.
inline const char* FileName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}
