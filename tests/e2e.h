// A synthetic installation in a temporary folder, with the programs run from
// its save folder, and what the installer is expected to print.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

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
  RunResult Install(const std::string& keys = "x\n", long fileSizeLimit = 0) {
    return RunProgram("QVRPt2Installer_mod", saves, keys, fileSizeLimit);
  }
  RunResult Restore() { return RunProgram("Reinstall_QVRPt1", saves); }
};

// What the installer prints up to the completion test, for a save whose party
// block is at `offset` and whose flag byte reads `flag`.
inline std::string Head(std::uint32_t offset, unsigned flag) {
  char buf[160];
  std::snprintf(buf, sizeof buf,
                "\nExtracting SAVED Game data.\nOffset is %x.\nData is %x.\nData is %x.\n",
                static_cast<unsigned>(offset), flag, flag & 0x80);
  return buf;
}

inline const std::string kRefusal =
    "You must first complete QVR Part1  before you can play QVR Part2.\nPress any key to "
    "continue.\n";
inline const std::string kInstalled =
    "QVR Part2 is already installed.\nRun Reinstall_QVRPt1 to go back to QVR Part1.\n";
inline const std::string kUnfinished =
    "An earlier install of QVR Part2 did not finish.\nRun Reinstall_QVRPt1, then "
    "QVRPt2Installer_mod again.\n";
inline const std::string kBusy =
    "Another copy of QVRPt2Installer_mod or Reinstall_QVRPt1 is running in this folder.\n";
inline const std::string kAnnounce[4] = {"\nDecoding SPRITES.LOD.\n", "\nDecoding Games.lod.\n",
                                         "\nDecoding BITMAPS.LOD.\n", "\nDecoding ICONS.LOD.\n"};
inline const std::string kAllAnnounced = kAnnounce[0] + kAnnounce[1] + kAnnounce[2] + kAnnounce[3];
