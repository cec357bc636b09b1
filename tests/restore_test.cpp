// The restorer run from the save folder after the installer, or without it.
#include <filesystem>

#include "e2e.h"

namespace fs = std::filesystem;

namespace {

// The save folder's part of a snapshot, or the rest, which the restorer keeps
// its hands off and puts back.
Tree Part(const Tree& t, bool saves) {
  Tree p;
  for (const auto& [k, v] : t)
    if ((k.rfind("Saves", 0) == 0) == saves) p[k] = v;
  return p;
}

// A restore that put everything back, or had nothing to put back.
const RunResult kQuietSuccess = {0, ""};
struct RestoreTest : Installation {
  Tree before;  // the first part, before any install
};

// However the installation was left, each restore leaves the first part as
// it was and the saves as they are. With no first-part sounds waiting aside,
// the live sounds are all the game has and stay.
enum Before { kNoInstall, kNoInstallNoPt2Sounds, kCompleteInstall, kInstallStoppedInSwap };
struct RestoreRow {
  const char* name;
  Before left;
  int restores;
};
struct RestoreAgainTest : RestoreTest, ::testing::WithParamInterface<RestoreRow> {};

TEST_P(RestoreAgainTest, BringsBackTheFirstPartAndKeepsTheSaves) {
  const RestoreRow& r = GetParam();
  options.sources = r.left >= kCompleteInstall;
  Build();
  if (r.left == kNoInstallNoPt2Sounds) fs::remove_all(At("SOUNDS.QVRPt2"));
  before = Snapshot(root);
  if (r.left >= kCompleteInstall) {
    const bool complete = r.left == kCompleteInstall;
    ASSERT_EQ((complete ? Install() : InstallStoppedInSwap()).status, complete ? 0 : 1);
  }
  Tree saves = Part(Snapshot(root), true);
  for (int i = 0; i < r.restores; i++) {
    EXPECT_EQ(Restore(), kQuietSuccess);
    Tree after = Snapshot(root);
    EXPECT_EQ(Part(after, false), Part(before, false));
    EXPECT_EQ(Part(after, true), saves);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Each, RestoreAgainTest,
    ::testing::Values(RestoreRow{"AfterCompleteInstallThenAgain", kCompleteInstall, 2},
                      RestoreRow{"AfterInstallStoppedDuringDataSwap", kInstallStoppedInSwap, 1},
                      RestoreRow{"WithoutInstallThenAgain", kNoInstall, 2},
                      RestoreRow{"WithNoSoundBackup", kNoInstallNoPt2Sounds, 1}),
    [](const ::testing::TestParamInfo<RestoreRow>& info) { return info.param.name; });

// Started from the wrong folder, either program says so and leaves nothing;
// unable to move everything back, the restorer says so rather than passing
// for a success.
TEST_F(RestoreTest, SaysWhatItCouldNotPutBack) {
  options.sources = false;
  Build();
  before = Snapshot(root);
  for (std::string program : {"QVRPt2Installer_mod", "Reinstall_QVRPt1"}) {
    EXPECT_EQ(RunProgram(program.c_str(), root),
              (RunResult{1, "Can't find the DATA folder.\nStart " + program +
                                " in the game's save folder.\n"}));
    EXPECT_FALSE(fs::exists(At("QVR.lock")));
    EXPECT_EQ(Snapshot(root), before);
  }

  // A folder where Games.lod goes, and the second part's sounds still there.
  fs::remove(At("DATA/Games.lod"));
  fs::create_directory(At("DATA/Games.lod"));
  for (const char* aside : {"DATA/Games.lod.QVRPt1", "DATA/ICONS.LOD.QVRPt1"})
    sample::WriteFile(At(aside), sample::Filled(5, 100));
  fs::create_directory(At("SOUNDS.QVRPt1"));
  EXPECT_EQ(Restore(),
            (RunResult{1, "Can't put back Games.lod file.\nCan't put back SOUNDS folder.\n"}));
  EXPECT_FALSE(fs::exists(At("DATA/ICONS.LOD.QVRPt1")));
  fs::remove_all(At("SOUNDS.QVRPt2"));  // the sounds go back now; Games.lod still cannot
  EXPECT_EQ(Restore(), (RunResult{1, "Can't put back Games.lod file.\n"}));
}

}  // namespace
