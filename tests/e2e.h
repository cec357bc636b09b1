// A synthetic installation in a temporary folder, with the programs run from
// its save folder, and what the installer is expected to print.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "install.h"
#include "restore.h"
#include "support.h"

struct Installation : ::testing::Test {
  TempDir tmp;
  std::string root = tmp / "game";
  std::string saves;
  sample::Options options;

  // Writes the installation as `options` say.
  void Build() {
    std::filesystem::remove_all(root);
    saves = sample::WriteInstallation(root, options);
    ASSERT_FALSE(saves.empty());
  }
  std::string At(const std::string& rel) const { return root + "/" + rel; }
  std::string Save(const char* name) const { return saves + "/" + name; }
  // Each program's run, called here as its main calls it (the lock aside).
  RunResult Install(const std::string& keys = "x\n", long fileSizeLimit = 0) {
    return Call(RunInstall, saves, keys, fileSizeLimit);
  }
  RunResult Restore() {
    return Call([](FILE* con, FILE*) { return RunRestore(con); }, saves);
  }
  // An install stopped half-way through the data swap by what no check
  // foresees: the disk fills in SPRITES.LOD (POSIX), or another program holds
  // its download (Windows). It prints Head(...) + kSwapStop.
  RunResult InstallStoppedInSwap();
};

// The four archives in decoding order, with their paths below the
// installation's root and what the installer says of each.
struct ArchiveRow {
  const char* name;  // of the test case
  std::string live, source;
  std::string announce, sourceOpen, sourceShort;
};
inline const ArchiveRow kArchiveRows[4] = {
    {"SPRITES", "DATA/SPRITES.LOD", "DATA.QVRPt2/SPRITES.LOD.QVRPt2", "\nDecoding SPRITES.LOD.\n",
     "\nCan't open SPRITES.LOD.QVRPt2 file.\n", "\nCan't read SPRITES.LOD.QVRPt2 file.\n"},
    {"Games", "DATA/Games.lod", "DATA.QVRPt2/Games.lod.QVRPt2", "\nDecoding Games.lod.\n",
     "\nCan't open Games.lod.QVRPt2 file.\n", "\nCan't read Games.lod.QVRPt2 file.\n"},
    {"BITMAPS", "DATA/BITMAPS.LOD", "DATA.QVRPt2/BITMAPS.LOD.QVRPt2", "\nDecoding BITMAPS.LOD.\n",
     "\nCan't open BITMAPS.LOD.QVRPt2 file.\n", "\nCan't read BITMAPS.LOD.QVRPt2 file.\n"},
    {"ICONS", "DATA/ICONS.LOD", "DATA.QVRPt2/ICONS.LOD.QVRPt2", "\nDecoding ICONS.LOD.\n",
     "Can't open ICONS.LOD.QVRPt2 file.\n", "Can't read ICONS.LOD.QVRPt2 file.\n"},
};

inline const std::string kBanner = "\nExtracting SAVED Game data.\n";
#ifdef _WIN32
inline const std::string kSwapStop = "\nCan't open SPRITES.LOD.QVRPt2 file.\n";
#else
inline const std::string kSwapStop = "\nDecoding SPRITES.LOD.\nCan't close Outfile.\n";
#endif

// What the installer prints up to the completion test, for a save whose party
// block is at `offset` and whose flag byte reads `flag`.
inline std::string Head(std::uint32_t offset, unsigned flag) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "Offset is %x.\nData is %x.\nData is %x.\n",
                static_cast<unsigned>(offset), flag, flag & 0x80);
  return kBanner + buf;
}
// ... then the announcements of the first `upTo` archives.
inline std::string Announced(std::uint32_t offset, unsigned flag, int upTo = 4) {
  std::string s = Head(offset, flag);
  for (int i = 0; i < upTo; i++) s += kArchiveRows[i].announce;
  return s;
}

inline const std::string kRefusal =
    "You must first complete QVR Part1  before you can play QVR Part2.\nPress any key to "
    "continue.\n";
inline const std::string kInstalled =
    "QVR Part2 is already installed.\nRun Reinstall_QVRPt1 to go back to QVR Part1.\n";
inline const std::string kUnfinished =
    "An earlier install of QVR Part2 did not finish.\nRun Reinstall_QVRPt1, then "
    "QVRPt2Installer_mod again.\n";
inline const std::string kNoRoom =
    "Not enough free disk space for QVR Part2 (it needs 127 MB).\nFree some space, then run "
    "QVRPt2Installer_mod again.\n";
inline const std::string kBusy =
    "Another copy of QVRPt2Installer_mod or Reinstall_QVRPt1 is running in this folder.\n";
