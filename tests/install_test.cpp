// The installer run as a player runs it: from the save folder of a synthetic
// installation, checking what it prints, its exit status and every file after.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "e2e.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using sample::Bytes;

RunResult Installation::InstallStoppedInSwap() {
#ifdef _WIN32
  HANDLE held = CreateFileA(At(kArchiveRows[0].source).c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  RunResult r = Install();
  CloseHandle(held);
  return r;
#else
  return Install("", 1 << 20);
#endif
}

namespace {

// 132,469,259 bytes of archives on the data folder's volume, 245,077 of new
// save on the save folder's, both together when they are one volume; each
// file rounded up to whole allocation units, and 1 MiB more on each volume.
TEST(EnoughRoomTest, ArchivesAndSaveMustFitWhereTheyGo) {
  const std::uint64_t a = 132469259, s = 245077, m = 1 << 20, lots = 1ull << 40, k = 4096;
  std::uint64_t aInK = 0;  // the archives in whole 4 KiB blocks
  for (const sample::Pt2Archive& p : sample::kPt2) aInK += (p.count + k - 1) / k * k;
  const std::uint64_t sInK = (s + k - 1) / k * k;
  const struct {
    Room data, saves;
    bool enough;
  } rows[] = {
      {{true, a + s + m, lots, 1, 1}, {true, a + s + m, lots, 1, 1}, true},
      {{true, a + s + m - 1, lots, 1, 1}, {true, a + s + m - 1, lots, 1, 1}, false},
      {{true, a + m, lots, 1, 1}, {true, s + m, lots, 1, 2}, true},
      {{true, a + m - 1, lots, 1, 1}, {true, lots, lots, 1, 2}, false},
      {{true, lots, lots, 1, 1}, {true, s + m - 1, lots, 1, 2}, false},
      {{true, aInK + sInK + m, lots, k, 1}, {true, aInK + sInK + m, lots, k, 1}, true},
      {{true, a + s + m + 8192, lots, k, 1}, {true, a + s + m + 8192, lots, k, 1}, false},
      {{true, aInK + m - 1, lots, k, 1}, {true, lots, lots, k, 2}, false},
      {{true, lots, lots, k, 1}, {true, sInK + m - 1, lots, k, 2}, false},
      {{}, {}, true},  // what cannot be read does not stop the run
      {{}, {true, s + m - 1, lots, 1, 2}, false},
      {{true, 0, 0, k, 1}, {true, 0, 0, k, 1}, true},  // nor a volume that knows no size
  };
  for (const auto& r : rows)
    EXPECT_EQ(EnoughRoom(r.data, r.saves), r.enough) << r.data.free << " " << r.saves.free;
}

struct InstallTest : Installation {
  // The saves once the new save, the template with the player's party block
  // at 148402 and its first-part progress cleared, has taken the save's name.
  Tree SavesSwapped(Tree t) {
    Bytes player = sample::PlayerSave(options.save), s = sample::TemplatePlain();
    unsigned char* party = &player[options.save.offset];
    ApplyPartyReset(party);
    std::copy(party, party + 64720, s.begin() + 148402);
    RenameIn(t, "Saves/save000.zsv", "Saves/save000.zsv.Original");
    t["Saves/save000.zsv"] = FileEntry(s);
    return t;
  }
  // The archives moved aside and the second part's decoded in their place.
  static Tree ArchivesSwapped(Tree t) {
    for (int i = 0; i < 4; i++) {
      RenameIn(t, kArchiveRows[i].live, kArchiveRows[i].live + ".QVRPt1");
      t[kArchiveRows[i].live] = DecodedEntry(i);
    }
    return t;
  }
  // The tree a complete install leaves.
  Tree AfterInstall(Tree t) {
    t = ArchivesSwapped(SavesSwapped(t));
    RenameIn(t, "SOUNDS", "SOUNDS.QVRPt1");
    RenameIn(t, "SOUNDS.QVRPt2", "SOUNDS");
    return t;
  }
  // The player's save, byte for byte, under its own name or as the backup.
  void ExpectPlayerSaveKept(const Bytes& player) {
    EXPECT_TRUE(sample::ReadFile(Save("save000.zsv")) == player ||
                sample::ReadFile(Save("save000.zsv.Original")) == player);
  }
};

// Any flag byte from 0x80 to 0xFF shows the first part completed.
TEST_F(InstallTest, CompleteInstallCarriesPartyAndSwapsDataAndSounds) {
  for (unsigned flag : {0xC5u, 0x80u, 0xFFu}) {
    options.save.flag = static_cast<unsigned char>(flag);
    Build();
    Tree before = Snapshot(root);
    EXPECT_EQ(Install(""), (RunResult{0, Announced(20000, flag)}));
    EXPECT_EQ(Snapshot(root), AfterInstall(before));
  }
}

// An install refused, or stopped by a check or by a failure after the new
// save was made, changes nothing at all. Each row writes an installation,
// moves the first `swapped` archives and the sounds aside, then changes one thing.
enum Change { kNone, kFlagsAtWrongPlace, kRemove, kCutByOne, kFolder, kFile };
struct StopRow {
  std::string name;
  sample::SaveLayout save;
  int swapped;
  Change change;
  std::string path;  // below the installation's root
  RunResult said;
  std::string keys = "x\n";
};
struct StopTest : InstallTest, ::testing::WithParamInterface<StopRow> {};

TEST_P(StopTest, EndsWithMessageAndChangesNothing) {
  const StopRow& r = GetParam();
  options.save = r.save;
  options.hollow = true;  // nothing is decoded
  Build();
  for (int i = 0; i < r.swapped; i++)
    fs::rename(At(kArchiveRows[i].live), At(kArchiveRows[i].live + ".QVRPt1"));
  if (r.swapped) fs::rename(At("SOUNDS"), At("SOUNDS.QVRPt1"));
  if (r.swapped) fs::rename(At("SOUNDS.QVRPt2"), At("SOUNDS"));
  Bytes save = sample::PlayerSave(r.save);
  for (std::uint64_t wrong : {r.save.offset + 302ull, (r.save.offset + 302ull) & 0x7FFFFFFF})
    if (r.change == kFlagsAtWrongPlace && wrong < save.size()) save[wrong] = 0xFF;
  sample::WriteFile(Save("save000.zsv"), save);
  const std::string path = At(r.path);
  if (r.change == kRemove) fs::remove(path);
  if (r.change == kCutByOne) fs::resize_file(path, fs::file_size(path) - 1);
  if (r.change == kFolder) fs::create_directories(path);
  if (r.change == kFile) sample::WriteFile(path, {1, 2, 3});
  Tree before = Snapshot(root);
  EXPECT_EQ(Install(r.keys), r.said);
  EXPECT_EQ(Snapshot(root), before);
}

std::vector<StopRow> StopRows() {
  sample::SaveLayout unfinished, flagPastEnd, noMarker, markerAtEnd, cutShort, party;
  unfinished.flag = 0x7F;
  flagPastEnd.offset = 200000 - 302;
  noMarker.marker = 300000;
  markerAtEnd.marker = 200000 - 16;
  cutShort.offset = 200000 - 1000;
  const RunResult refused = {0, Head(20000, 0x7F) + kRefusal};
  const RunResult noParty = {1, kBanner + "Can't find party data in Original file.\n"};
  const RunResult shortParty = {
      1, Head(200000 - 1000, 0xC5) + "Can't read party data from Original file.\n"};
  const RunResult noNewSave = {1, kBanner + "Can't open OutFile file.\n"};
  const RunResult pastEnd = {0, Head(200000 - 302, 0) + kRefusal}, taken = {1, kUnfinished};
  std::vector<StopRow> rows = {
      {"RefusedAfterBlankLinesAndText", unfinished, 0, kNone, "", refused, "\n\n   \nok\n"},
      {"RefusedAtEndOfInput", unfinished, 0, kNone, "", refused, ""},
      {"RefusedAfterANumber", unfinished, 0, kNone, "", refused, "7\n"},
      {"FlagPastEndOfSaveReadsAsZero", flagPastEnd, 0, kNone, "", pastEnd},
      {"SaveWithoutMarker", noMarker, 0, kNone, "", noParty},
      {"MarkerCutShortByEndOfSave", markerAtEnd, 0, kNone, "", noParty},
      {"PartyBlockCutShort", cutShort, 0, kNone, "", shortParty},
      {"TemplateShort", party, 0, kCutByOne, "Saves/CrackerFile", {1, "Can't read CrackerFile.\n"}},
      {"TemplateMissing", party, 0, kRemove, "Saves/CrackerFile", {1, "Can't open CrackerFile.\n"}},
      {"SaveBackupNameTakenByFolder", party, 0, kFolder, "Saves/save000.zsv.Original/x", noNewSave},
      {"SoundBackupNameTaken", party, 0, kFolder, "SOUNDS.QVRPt1", taken},
      // Only all four archives aside, with no new save left, make an install complete.
      {"ThreeArchivesAsideWithSoundsSwapped", party, 3, kNone, "", taken},
      {"NewSaveLeftWithAllSwapped", party, 4, kFile, "Saves/save000.zsv.QVRPt2", taken},
  };
  // A flag taken from a wrapped or 31-bit position would be a set byte that
  // the save places there on purpose; the real position is past the end.
  for (std::uint32_t offset : {0xFFFFFF00u, 0x80000000u, 0xFFFFFFFFu}) {
    sample::SaveLayout distant;
    distant.offset = offset;
    const RunResult refusedFar = {0, Head(offset, 0) + kRefusal};
    rows.push_back({"FarPartyPosition" + std::to_string(offset), distant, 0, kFlagsAtWrongPlace, "",
                    refusedFar});
  }
  // A download missing or cut short is found before anything changes; a
  // first-part archive already aside means an install is in place or was cut
  // off, and a new one would stop half-way.
  for (const ArchiveRow& a : kArchiveRows) {
    const std::string name = a.name;
    rows.push_back({name + "SourceMissing", party, 0, kRemove, a.source, {1, a.sourceOpen}});
    rows.push_back({name + "SourceShort", party, 0, kCutByOne, a.source, {1, a.sourceShort}});
    rows.push_back({name + "BackupNameTaken", party, 0, kFile, a.live + ".QVRPt1", taken});
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Each, StopTest, ::testing::ValuesIn(StopRows()),
                         [](const ::testing::TestParamInfo<StopRow>& info) {
                           return info.param.name;
                         });

// Waiting at the refusal's prompt, which the player sees first and a bare
// Enter does not end, the installer has changed nothing; a second program
// started meanwhile stops at once, and closing the window drops the hold.
struct PromptTest : InstallTest, ::testing::WithParamInterface<bool> {};

TEST_P(PromptTest, WaitingInstallerHasChangedNothing) {
  options.save.flag = 0x10;
  Build();
  Tree before = Snapshot(root);
  Child installer("QVRPt2Installer_mod", saves);
  EXPECT_EQ(installer.Read(kRefusal, 30), Head(20000, 0x10) + kRefusal);
  EXPECT_EQ(Snapshot(root), before);
  if (GetParam()) {
    for (const char* program : {"QVRPt2Installer_mod", "Reinstall_QVRPt1"}) {
      EXPECT_EQ(RunProgram(program, saves), (RunResult{1, kBusy})) << program;
      EXPECT_EQ(Snapshot(root), before);
    }
    installer.Kill();
    EXPECT_EQ(RunProgram("QVRPt2Installer_mod", saves, "x\n").out, Head(20000, 0x10) + kRefusal);
  } else {
    installer.Write("\n\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(installer.Running());
    installer.Write("any key\n");
    EXPECT_EQ(installer.Wait(), 0);
  }
  EXPECT_EQ(Snapshot(root), before);
}

INSTANTIATE_TEST_SUITE_P(Refusal, PromptTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "SecondProgramThenWindowClosed"
                                             : "BlankLinesThenAKey";
                         });

// What a player may do after a first run: either program again, in any order,
// or with the player's save put back in between. The player's save is never
// lost; without it, the backup of an earlier run carries the party, and stays.
enum Act { kInstallAgain, kRestoreAgain, kInstallStoppedInSwap, kPlayerSaveBack };
enum End { kAsBefore, kComplete, kFirstPartAgain };
struct Step {
  Act act;
  int status;
  std::string out;
};
struct Rerun {
  const char* what;
  void (*setup)(InstallTest& t);  // run once the installation is written
  std::vector<Step> steps;
  End end;
};

TEST_F(InstallTest, RunningEitherProgramAgainKeepsThePlayersSave) {
  using Setup = void (*)(InstallTest & t);
  Setup onlyBackup = [](InstallTest& t) {
    fs::rename(t.Save("save000.zsv"), t.Save("save000.zsv.Original"));
  };
  Setup noSave = [](InstallTest& t) { fs::remove(t.Save("save000.zsv")); };
  Setup oldBackup = [](InstallTest& t) {
    t.options.save.flag = 0x7F;
    sample::WriteFile(t.Save("save000.zsv"), sample::PlayerSave(t.options.save));
    sample::WriteFile(t.Save("save000.zsv.Original"), sample::Filled(77, 5000));
  };
  Setup newSaveLeft = [](InstallTest& t) {
    sample::WriteFile(t.Save("save000.zsv.QVRPt2"), sample::Filled(78, 300000));
  };
  Setup noPt2Sounds = [](InstallTest& t) { fs::remove_all(t.At("SOUNDS.QVRPt2")); };
  const Step done{kInstallAgain, 0, Announced(20000, 0xC5)}, restored{kRestoreAgain, 0, ""},
      stopped{kInstallStoppedInSwap, 1, Head(20000, 0xC5) + kSwapStop},
      refused{kInstallAgain, 0, Head(20000, 0x7F) + kRefusal}, saveBack{kPlayerSaveBack, 0, ""},
      // The new save's own marker leads to its party block, whose flag is clear.
      newSaveRefused{kInstallAgain, 0, Head(148402, 0) + kRefusal},
      installed{kInstallAgain, 1, kInstalled}, unfinished{kInstallAgain, 1, kUnfinished},
      noOriginal{kInstallAgain, 1, kBanner + "Can't open Original file.\n"},
      noSounds{kInstallAgain, 1, "\nCan't move SOUNDS.QVRPt2 folder.\n"};
  const Rerun reruns[] = {
      {"complete, install", nullptr, {done, installed}, kComplete},
      {"complete, restore, install", nullptr, {done, restored, newSaveRefused}, kFirstPartAgain},
      {"save back after a restore", nullptr, {done, restored, saveBack, done}, kComplete},
      {"only an old backup: stopped, restore", onlyBackup, {stopped, restored}, kAsBefore},
      {"neither save nor backup", noSave, {noOriginal}, kAsBefore},
      {"stopped in the data swap", nullptr, {stopped, unfinished, restored, done}, kComplete},
      {"refused twice with an old backup, which stays", oldBackup, {refused, refused}, kAsBefore},
      {"a new save left by a cut-off run", newSaveLeft, {done}, kComplete},
      {"no second-part sounds", noPt2Sounds, {noSounds, noSounds, restored}, kAsBefore},
  };
  for (const Rerun& rerun : reruns) {
    SCOPED_TRACE(rerun.what);
    options = {};
    Build();
    Tree pristine = Snapshot(root);
    if (rerun.setup) rerun.setup(*this);
    Tree before = Snapshot(root);
    Bytes player = sample::ReadFile(Save("save000.zsv"));
    if (player.empty()) player = sample::ReadFile(Save("save000.zsv.Original"));
    for (const Step& step : rerun.steps) {
      if (step.act == kPlayerSaveBack) sample::WriteFile(Save("save000.zsv"), player);
      if (step.act == kPlayerSaveBack) continue;
      RunResult r = step.act == kRestoreAgain   ? Restore()
                    : step.act == kInstallAgain ? Install()
                                                : InstallStoppedInSwap();
      EXPECT_EQ(r, (RunResult{step.status, step.out}));
      ExpectPlayerSaveKept(player);
    }
    Tree after = Snapshot(root);
    if (rerun.end == kAsBefore) {
      EXPECT_EQ(after, before);
    } else if (rerun.end == kFirstPartAgain) {
      EXPECT_EQ(after, SavesSwapped(pristine));
    } else {
      EXPECT_EQ(after, AfterInstall(pristine));
    }
  }
}

inline const std::string kNotRenamed =
    "Can't rename save000.zsv.QVRPt2 to save000.zsv.\nRun Reinstall_QVRPt1, then "
    "QVRPt2Installer_mod again.\n";

// The new save, complete, stays under its own name when it cannot take the
// save's; the player's save keeps its name, and the restorer and the
// installer then give a complete install. Windows will not delete a read-only
// file, so there an old backup stays and the save cannot move aside.
TEST_F(InstallTest, NewSaveThatCannotTakeItsNameLeavesThePlayersSave) {
  Build();
  Tree before = Snapshot(root), want = AfterInstall(before);
  RenameIn(want, "Saves/save000.zsv", "Saves/save000.zsv.QVRPt2");
  RenameIn(want, "Saves/save000.zsv.Original", "Saves/save000.zsv");
#ifdef _WIN32
  std::string old = Save("save000.zsv.Original");
  sample::WriteFile(old, sample::Filled(77, 5000));
  fs::permissions(old, fs::perms::owner_write, fs::perm_options::remove);
  want["Saves/save000.zsv.Original"] = FileEntry(sample::Filled(77, 5000));
  EXPECT_EQ(Install(), (RunResult{1, Announced(20000, 0xC5) + kNotRenamed}));
  fs::permissions(old, fs::perms::owner_write, fs::perm_options::add);
#elif defined(__linux__)
  Traced blocked;
  blocked.blockRename = "rename save000.zsv.QVRPt2 save000.zsv";
  EXPECT_EQ(RunTraced("QVRPt2Installer_mod", saves, blocked),
            (RunResult{1, Announced(20000, 0xC5) + kNotRenamed}));
#else
  GTEST_SKIP() << "no way to keep a name from a rename here";
#endif
  EXPECT_EQ(Snapshot(root), want);
  EXPECT_EQ(Install(), (RunResult{1, kUnfinished}));
  EXPECT_EQ(Restore(), (RunResult{0, ""}));
  fs::remove(Save("save000.zsv.Original"));
  EXPECT_EQ(Install(), (RunResult{0, Announced(20000, 0xC5)}));
  EXPECT_EQ(Snapshot(root), AfterInstall(before));
}

#ifdef _WIN32

// The running game holds its archives and sounds open without delete
// sharing: neither program changes anything, and each says which file and
// what to do.
TEST_F(InstallTest, ArchiveHeldByTheGameStopsBothProgramsBeforeAnyChange) {
  options.sources = false;
  Build();
  const std::string i = "QVRPt2Installer_mod", r = "Reinstall_QVRPt1";
  const struct {
    std::string program, held;
  } cases[] = {
      {i, "DATA/BITMAPS.LOD"}, {i, "SOUNDS"}, {r, "DATA/BITMAPS.LOD.QVRPt1"}, {r, "SOUNDS.QVRPt1"}};
  for (const auto& c : cases) {
    if (c.program == r) {  // a game half-swapped by an install stopped early
      sample::WriteFile(At("DATA/BITMAPS.LOD.QVRPt1"), sample::Pt1Archive(2));
      fs::create_directory(At("SOUNDS.QVRPt1"));
    }
    HANDLE game = CreateFileA(At(c.held).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(game, INVALID_HANDLE_VALUE);
    Tree before = Snapshot(root);
    EXPECT_EQ(RunProgram(c.program.c_str(), saves),
              (RunResult{1, fs::path(c.held).filename().string() +
                                " is in use by another program.\nClose the game, then run " +
                                c.program + " again.\n"}));
    CloseHandle(game);
    EXPECT_EQ(Snapshot(root), before);
  }
}
#endif

#ifdef __linux__
// A run cut off at any of its file operations, as a closed window or a power
// cut would, leaves the player's save whole; the restorer and a new install
// then end in the same complete install as a run never cut off. Each of the
// four takes every fourth operation, so that they can run side by side.
struct InstallCutOffTest : InstallTest, ::testing::WithParamInterface<int> {};

TEST_P(InstallCutOffTest, InstallCutOffAnywhereEndsCompleteAfterRestoreAndInstall) {
  Build();
  // Only ever read: one copy serves every cut, checked unchanged at the end.
  fs::rename(At("DATA.QVRPt2"), tmp / "sources");
  fs::create_directory_symlink(tmp / "sources", At("DATA.QVRPt2"));
  Tree sources = Snapshot(tmp / "sources"), want = AfterInstall(Snapshot(root));
  Bytes player = sample::ReadFile(Save("save000.zsv"));
  auto backToFirstPart = [&] {
    EXPECT_EQ(Restore().status, 0);
    fs::remove(Save("save000.zsv"));
    fs::rename(Save("save000.zsv.Original"), Save("save000.zsv"));
  };
  if (GetParam() == 0) {
    // A power cut keeps only what reached the disk: each archive, and the
    // names made, before the new save takes the save's name; that name after.
    Traced whole;
    ASSERT_EQ(RunTraced("QVRPt2Installer_mod", saves, whole).status, 0);
    const auto& trace = whole.ops;
    auto at = [&](const std::string& op, size_t from = 0) {
      return std::find(trace.begin() + from, trace.end(), op) - trace.begin();
    };
    auto sync = [](const std::string& path) { return "sync " + fs::canonical(path).string(); };
    auto commit = at("rename save000.zsv.QVRPt2 save000.zsv"), end = trace.end() - trace.begin();
    ASSERT_LT(commit, end);
    for (const ArchiveRow& a : kArchiveRows) EXPECT_LT(at(sync(At(a.live))), commit) << a.live;
    for (std::string folder : {"DATA", "."}) EXPECT_LT(at(sync(At(folder))), commit) << folder;
    EXPECT_LT(at(sync(saves), commit), end);
    // The new save, synced once decoded and again with the party in it.
    const std::string newSave = sync(saves) + "/save000.zsv.QVRPt2";
    EXPECT_EQ(std::count(trace.begin(), trace.begin() + commit, newSave), 2);
    // The restorer ends by syncing the folders its renames changed.
    Traced restore;
    ASSERT_EQ(RunTraced("Reinstall_QVRPt1", saves, restore).status, 0);
    EXPECT_EQ(std::vector<std::string>(restore.ops.end() - 2, restore.ops.end()),
              (std::vector<std::string>{sync(At("DATA")), sync(root)}));
    backToFirstPart();
  }
  int op = GetParam();
  for (Traced cut; cut.killAt = op, RunTraced("QVRPt2Installer_mod", saves, cut).status == 137;
       op += 4) {
    SCOPED_TRACE("cut off at file operation " + std::to_string(op));
    ExpectPlayerSaveKept(player);
    // Cut off once the new save had its name: the install is complete.
    if (!(FileEntry(sample::ReadFile(Save("save000.zsv"))) == want["Saves/save000.zsv"])) {
      EXPECT_EQ(Restore().status, 0);
      ExpectPlayerSaveKept(player);
      EXPECT_EQ(Install().out, Announced(20000, 0xC5));
    }
    EXPECT_EQ(Snapshot(root), want);
    backToFirstPart();  // for the next cut
  }
  EXPECT_EQ(Snapshot(tmp / "sources"), sources);
  EXPECT_GE(op, 30);  // the opens, closes, renames and deletes of a whole install
}

INSTANTIATE_TEST_SUITE_P(EveryFourthCut, InstallCutOffTest, ::testing::Range(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "From" + std::to_string(info.param);
                         });
#endif

#ifdef __linux__
// The data folder on a volume too small for the archives, or the save folder
// on one too small for the new save: a 1 MB file system over it, mounted in a
// child of its own (and gone with it).
TEST_F(InstallTest, NotEnoughRoomStopsBeforeAnyChange) {
  options.sources = false;
  Build();
  Tree before = Snapshot(root);
  for (const char* small : {"DATA", "Saves"}) {
    int status = InChild([&] {
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
          mount("qvr", At(small).c_str(), "tmpfs", 0, "size=1m"))
        return 2;
      return Install() == RunResult{1, kNoRoom} ? 0 : 1;
    });
    if (status == 2) GTEST_SKIP() << "no right to mount a file system here";
    EXPECT_EQ(status, 0) << small;
    EXPECT_EQ(Snapshot(root), before);
  }
}
#endif

#ifndef _WIN32
// A game folder the player may not write, beside a DATA folder they may: the
// archives swap, the sounds cannot move aside, and the run says so.
TEST_F(InstallTest, SoundsThatCannotMoveStopTheRun) {
  Build();
  Tree before = Snapshot(root);
  fs::permissions(root, fs::perms::owner_write | fs::perms::others_write, fs::perm_options::remove);
  for (const char* open : {"Saves", "DATA"}) fs::permissions(At(open), fs::perms::all);
  int status = InChild([&]() -> int {
    if (getuid() == 0 && setuid(65534) != 0) return 2;  // root may write anywhere
    return Install() == RunResult{1, Announced(20000, 0xC5) + "\nCan't move SOUNDS folder.\n"};
  });
  fs::permissions(root, fs::perms::owner_write, fs::perm_options::add);
  if (status == 2) GTEST_SKIP() << "no other user to run as";
  EXPECT_EQ(status, 1);
  EXPECT_EQ(Snapshot(root), ArchivesSwapped(before));
}

// A full disk, made real with a limit on the size of the files the installer
// may write: the failed writes must stop the run, never pass as success.
TEST_F(InstallTest, FailedWritesStopTheRunAndPutSaveBack) {
  Build();
  Tree before = Snapshot(root), savesBefore = Snapshot(saves);
  // The new save cannot be written whole: the disk fills inside a block
  // write, then only at the last flush, when the file is closed.
  for (long limit : {100000, 245000}) {
    SCOPED_TRACE(limit);
    EXPECT_EQ(Install("", limit), (RunResult{1, kBanner + "Can't close Outfile.\n"}));
    EXPECT_EQ(Snapshot(root), before);
  }

  // The save fits, the first archive does not.
  EXPECT_EQ(Install("", 1 << 20),
            (RunResult{1, Announced(20000, 0xC5, 1) + "Can't close Outfile.\n"}));
  EXPECT_EQ(Snapshot(saves), savesBefore);
  EXPECT_GT(fs::file_size(At("DATA/SPRITES.LOD")), 0u);
  EXPECT_LE(fs::file_size(At("DATA/SPRITES.LOD")), 1u << 20);
}
#endif

}  // namespace
