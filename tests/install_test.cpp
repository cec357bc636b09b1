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

// The second part's starting save: the template with the player's party block
// at 148402, its first-part progress cleared.
Bytes NewSave(const Bytes& player, std::uint32_t offset) {
  Bytes s = sample::TemplatePlain();
  Bytes party(player.begin() + offset, player.begin() + offset + 64720);
  ApplyPartyReset(party.data());
  std::copy(party.begin(), party.end(), s.begin() + 148402);
  return s;
}

struct InstallTest : Installation {
  // The saves once the new save has taken the player's save's name.
  Tree SavesSwapped(Tree t) {
    RenameIn(t, "Saves/save000.zsv", "Saves/save000.zsv.Original");
    t["Saves/save000.zsv"] =
        FileEntry(NewSave(sample::PlayerSave(options.save), options.save.offset));
    return t;
  }
  static Tree ArchivesAside(Tree t) {
    for (const ArchiveRow& a : kArchiveRows) RenameIn(t, a.live, a.live + ".QVRPt1");
    return t;
  }
  // The first `upTo` archives, decoded.
  static Tree Decoded(Tree t, int upTo = 4) {
    for (int i = 0; i < upTo; i++) t[kArchiveRows[i].live] = DecodedEntry(i);
    return t;
  }
  // The tree a complete install leaves.
  Tree AfterInstall(Tree t) {
    t = Decoded(ArchivesAside(SavesSwapped(t)));
    RenameIn(t, "SOUNDS", "SOUNDS.QVRPt1");
    RenameIn(t, "SOUNDS.QVRPt2", "SOUNDS");
    return t;
  }
  // The player's save, byte for byte, under its own name or as the backup.
  void ExpectPlayerSaveKept(const Bytes& player) {
    EXPECT_TRUE(sample::ReadFile(Save("save000.zsv")) == player ||
                sample::ReadFile(Save("save000.zsv.Original")) == player);
  }
  // Runs the install with `keys` typed and checks what it said, and that it
  // changed nothing at all, or (`savesOnly`) nothing in the save folder: the
  // player's save never left its name.
  void ExpectInstallChangesNothing(const RunResult& said, const std::string& keys = "x\n",
                                   bool savesOnly = false) {
    std::string where = savesOnly ? saves : root;
    Tree before = Snapshot(where);
    EXPECT_EQ(Install(keys), said);
    EXPECT_EQ(Snapshot(where), before);
  }
  void ExpectInstallKeepsSaves(const RunResult& said) {
    ExpectInstallChangesNothing(said, "x\n", true);
  }
};

TEST_F(InstallTest, CompleteInstallCarriesPartyAndSwapsDataAndSounds) {
  Build();
  Tree before = Snapshot(root);
  EXPECT_EQ(Install(""), (RunResult{0, Announced(20000, 0xC5)}));
  EXPECT_EQ(Snapshot(root), AfterInstall(before));
}

TEST_F(InstallTest, UnfinishedFirstPartIsRefusedAndNothingChanges) {
  options.save.flag = 0x7F;
  Build();
  for (const char* keys : {"\n\n   \nok\n", "", "7\n"}) {
    SCOPED_TRACE(keys);
    ExpectInstallChangesNothing({0, Head(20000, 0x7F) + kRefusal}, keys);
  }
}

// The player must see the prompt while the installer waits, and a bare Enter
// does not end the wait.
TEST_F(InstallTest, RefusalPromptIsShownBeforeTheWaitThatBlankLinesDoNotEnd) {
  options.save.flag = 0x10;
  Build();
  Tree before = Snapshot(root);
  Child installer("QVRPt2Installer_mod", saves);
  EXPECT_EQ(installer.Read(kRefusal, 30), Head(20000, 0x10) + kRefusal);
  EXPECT_EQ(Snapshot(root), before);  // a window closed now leaves nothing of the run
  installer.Write("\n\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(installer.Running());
  installer.Write("any key\n");
  EXPECT_EQ(installer.Wait(), 0);
  EXPECT_EQ(Snapshot(root), before);
}

TEST_F(InstallTest, FlagPastEndOfSaveReadsAsZeroAndRefuses) {
  options.save.offset = options.save.size - 302;
  Build();
  ExpectInstallChangesNothing({0, Head(options.save.size - 302, 0) + kRefusal});
}

// A flag taken from a wrapped or 31-bit position would be a set byte that the
// save places there on purpose; the real position is past the end.
TEST_F(InstallTest, FarPartyPositionsAreNeverWrapped) {
  for (std::uint32_t offset : {0xFFFFFF00u, 0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(offset);
    options.save.offset = offset;
    Build();
    Bytes save = sample::PlayerSave(options.save);
    for (std::uint64_t wrong :
         {std::uint64_t{offset + 302u}, std::uint64_t{(offset + 302ull) & 0x7FFFFFFF}})
      if (wrong < save.size()) save[wrong] = 0xFF;
    sample::WriteFile(Save("save000.zsv"), save);
    ExpectInstallChangesNothing({0, Head(offset, 0) + kRefusal});
  }
}

TEST_F(InstallTest, AnyFlagFrom80ToFFGoesOn) {
  for (unsigned flag : {0x80u, 0xFFu}) {
    options.save.flag = static_cast<unsigned char>(flag);
    Build();
    EXPECT_EQ(Install(""), (RunResult{0, Announced(20000, flag)}));
  }
}

TEST_F(InstallTest, MarkerAtStartOfSaveIsFound) {
  options.save.marker = 0;
  options.save.offset = 0x1234;
  Build();
  EXPECT_EQ(Install("").out, Announced(0x1234, 0xC5));
}

TEST_F(InstallTest, SaveWithoutPartyDataStopsAndIsPutBack) {
  for (std::uint32_t marker : {300000u, 200000u - 16}) {  // no marker; marker cut short
    SCOPED_TRACE(marker);
    options.save.marker = marker;
    Build();
    Bytes save = sample::PlayerSave(options.save);
    if (marker < save.size()) std::memcpy(&save[marker], "part", 4);
    sample::WriteFile(Save("save000.zsv"), save);
    ExpectInstallKeepsSaves({1, kBanner + "Can't find party data in Original file.\n"});
  }
}

TEST_F(InstallTest, PartyBlockCutShortStopsAndSaveIsPutBack) {
  options.save.offset = options.save.size - 1000;
  Build();
  ExpectInstallKeepsSaves(
      {1, Head(options.save.size - 1000, 0xC5) + "Can't read party data from Original file.\n"});
}

TEST_F(InstallTest, TemplateMissingOrShortStopsBeforeAnyChange) {
  options.sources = false;  // checked after the template
  Build();
  Bytes crackerFile = sample::ReadFile(Save("CrackerFile"));
  crackerFile.resize(245076);
  sample::WriteFile(Save("CrackerFile"), crackerFile);
  ExpectInstallChangesNothing({1, "Can't read CrackerFile.\n"});

  fs::remove(Save("CrackerFile"));
  ExpectInstallChangesNothing({1, "Can't open CrackerFile.\n"});
}

TEST_F(InstallTest, WithoutSaveTheOldBackupIsKeptAndUsed) {
  Build();
  fs::rename(Save("save000.zsv"), Save("save000.zsv.Original"));
  Tree before = Snapshot(saves);
  EXPECT_EQ(InstallStoppedInSwap(), (RunResult{1, Head(20000, 0xC5) + kSwapStop}));
  // The backup stays and the new save made here is gone.
  EXPECT_EQ(Snapshot(saves), before);

  ASSERT_EQ(Restore().status, 0);
  fs::remove(Save("save000.zsv.Original"));
  EXPECT_EQ(Install(), (RunResult{1, kBanner + "Can't open Original file.\n"}));
  EXPECT_FALSE(fs::exists(Save("save000.zsv")));
}

TEST_F(InstallTest, SaveThatCannotBeMovedAsideIsNeverOverwritten) {
  Build();
  fs::create_directories(Save("save000.zsv.Original/inside"));
  ExpectInstallChangesNothing({1, kBanner + "Can't open OutFile file.\n"});
}

// A data swap that stops at archive GetParam() (in decoding order): the
// archives before it stay decoded, the player's save stays where it is.
struct SwapStopTest : InstallTest, ::testing::WithParamInterface<int> {
  int stop = GetParam();
  const ArchiveRow& a = kArchiveRows[stop];
};

// A download missing or cut short is found before anything changes.
TEST_P(SwapStopTest, MissingSourceStopsBeforeAnyChange) {
  Build();
  fs::remove(At(a.source));
  ExpectInstallChangesNothing({1, a.sourceOpen});
}

TEST_P(SwapStopTest, ShortSourceStopsBeforeAnyChange) {
  Build();
  ASSERT_TRUE(sample::WriteScrambled(At(a.source), stop, sample::kPt2[stop].count - 1, 0));
  ExpectInstallChangesNothing({1, a.sourceShort});
}

// A first-part archive already aside means an install is in place or was cut
// off; a new one would overwrite nothing, but would stop half-way.
TEST_P(SwapStopTest, TakenBackupNameStopsBeforeAnyChange) {
  options.sources = false;
  Build();
  sample::WriteFile(At(a.live + ".QVRPt1"), sample::Filled(99, 1234));
  ExpectInstallChangesNothing({1, kUnfinished});
}

INSTANTIATE_TEST_SUITE_P(EachArchive, SwapStopTest, ::testing::Range(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(kArchiveRows[info.param].name);
                         });

TEST_F(InstallTest, TakenSoundBackupStopsBeforeAnyChange) {
  Build();
  fs::create_directory(At("SOUNDS.QVRPt1"));
  ExpectInstallChangesNothing({1, kUnfinished});
}

// What a player may do after a first run: either program again, in any order,
// or with a file put back in between. The player's save is never lost.
enum Act { kInstallAgain, kRestoreAgain, kInstallStoppedInSwap };
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
  const std::string done = Announced(20000, 0xC5);
  const std::string refused = Head(20000, 0x7F) + kRefusal;
  const Rerun reruns[] = {
      {"complete, then the installer again",
       nullptr,
       {{kInstallAgain, 0, done}, {kInstallAgain, 1, kInstalled}},
       kComplete},
      // The new save's own marker leads to its party block, whose flag is clear.
      {"complete, restorer, installer",
       nullptr,
       {{kInstallAgain, 0, done},
        {kRestoreAgain, 0, ""},
        {kInstallAgain, 0, Head(148402, 0) + kRefusal}},
       kFirstPartAgain},
      {"stopped in the data swap, installer, restorer, installer",
       nullptr,
       {{kInstallStoppedInSwap, 1, Head(20000, 0xC5) + kSwapStop},
        {kInstallAgain, 1, kUnfinished},
        {kRestoreAgain, 0, ""},
        {kInstallAgain, 0, done}},
       kComplete},
      {"refused twice with an old backup, which stays",
       [](InstallTest& t) {
         t.options.save.flag = 0x7F;
         sample::WriteFile(t.Save("save000.zsv"), sample::PlayerSave(t.options.save));
         sample::WriteFile(t.Save("save000.zsv.Original"), sample::Filled(77, 5000));
       },
       {{kInstallAgain, 0, refused}, {kInstallAgain, 0, refused}},
       kAsBefore},
      {"a new save left by a cut-off run",
       [](InstallTest& t) {
         sample::WriteFile(t.Save("save000.zsv.QVRPt2"), sample::Filled(78, 300000));
       },
       {{kInstallAgain, 0, done}},
       kComplete},
      {"no second-part sounds, installer, restorer",
       [](InstallTest& t) { fs::remove_all(t.At("SOUNDS.QVRPt2")); },
       {{kInstallAgain, 1, "\nCan't move SOUNDS.QVRPt2 folder.\n"},
        {kInstallAgain, 1, "\nCan't move SOUNDS.QVRPt2 folder.\n"},
        {kRestoreAgain, 0, ""}},
       kAsBefore},
  };
  for (const Rerun& rerun : reruns) {
    SCOPED_TRACE(rerun.what);
    options = {};
    Build();
    Tree pristine = Snapshot(root);
    if (rerun.setup) rerun.setup(*this);
    Tree before = Snapshot(root);
    Bytes player = sample::ReadFile(Save("save000.zsv"));
    for (const Step& step : rerun.steps) {
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

// Whichever program holds the folder, a second one started there stops at
// once. Closing the window of the first drops its hold and keeps the save.
TEST_F(InstallTest, SecondProgramStartedWhileOneRunsTouchesNothing) {
  options.save.flag = 0x10;
  Build();
  Tree before = Snapshot(root);
  Child waiting("QVRPt2Installer_mod", saves);
  ASSERT_EQ(waiting.Read(kRefusal, 30), Head(20000, 0x10) + kRefusal);
  Tree during = Snapshot(root);
  for (const char* program : {"QVRPt2Installer_mod", "Reinstall_QVRPt1"}) {
    SCOPED_TRACE(program);
    EXPECT_EQ(RunProgram(program, saves), (RunResult{1, kBusy}));
    EXPECT_EQ(Snapshot(root), during);
  }
  waiting.Kill();
  EXPECT_EQ(Snapshot(root), before);
  EXPECT_EQ(Install().out, Head(20000, 0x10) + kRefusal);
  EXPECT_EQ(Snapshot(root), before);
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
    const std::vector<std::string>& trace = whole.ops;
    auto at = [&](const std::string& op, size_t from = 0) {
      return std::find(trace.begin() + from, trace.end(), op) - trace.begin();
    };
    auto commit = at("rename save000.zsv.QVRPt2 save000.zsv"), end = trace.end() - trace.begin();
    ASSERT_LT(commit, end);
    for (const ArchiveRow& a : kArchiveRows)
      EXPECT_LT(at("sync " + fs::canonical(At(a.live)).string()), commit) << a.live;
    for (std::string folder : {"DATA", "."})
      EXPECT_LT(at("sync " + fs::canonical(At(folder)).string()), commit) << folder;
    EXPECT_LT(at("sync " + fs::canonical(saves).string(), commit), end);
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
// The data folder on a volume too small for the archives: a 1 MB file system
// over it, mounted in a child of its own (and gone with it).
TEST_F(InstallTest, NotEnoughRoomStopsBeforeAnyChange) {
  options.sources = false;
  Build();
  Tree before = Snapshot(root);
  int status = InChild([&] {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
        mount("qvr", At("DATA").c_str(), "tmpfs", 0, "size=1m"))
      return 2;
    return Install() == RunResult{1, kNoRoom} ? 0 : 1;
  });
  if (status == 2) GTEST_SKIP() << "no right to mount a file system here";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Snapshot(root), before);
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
  EXPECT_EQ(Snapshot(root), Decoded(ArchivesAside(before)));
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
