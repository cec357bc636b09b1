// The installer run as a player runs it: from the save folder of a synthetic
// installation, checking what it prints, its exit status and every file after.
#include "install.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "restore.h"
#include "support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using sample::Bytes;

namespace {

// The four archives in decoding order, with their paths below the
// installation's root and what the installer says of each.
struct ArchiveRow {
  const char* name;  // of the test case
  std::string live, source;
  std::string announce, sourceOpen, sourceShort;
};
const ArchiveRow kArchiveRows[4] = {
    {"SPRITES", "DATA/SPRITES.LOD", "DATA.QVRPt2/SPRITES.LOD.QVRPt2", "\nDecoding SPRITES.LOD.\n",
     "\nCan't open SPRITES.LOD.QVRPt2 file.\n", "\nCan't read SPRITES.LOD.QVRPt2 file.\n"},
    {"Games", "DATA/Games.lod", "DATA.QVRPt2/Games.lod.QVRPt2", "\nDecoding Games.lod.\n",
     "\nCan't open Games.lod.QVRPt2 file.\n", "\nCan't read Games.lod.QVRPt2 file.\n"},
    {"BITMAPS", "DATA/BITMAPS.LOD", "DATA.QVRPt2/BITMAPS.LOD.QVRPt2", "\nDecoding BITMAPS.LOD.\n",
     "\nCan't open BITMAPS.LOD.QVRPt2 file.\n", "\nCan't read BITMAPS.LOD.QVRPt2 file.\n"},
    {"ICONS", "DATA/ICONS.LOD", "DATA.QVRPt2/ICONS.LOD.QVRPt2", "\nDecoding ICONS.LOD.\n",
     "Can't open ICONS.LOD.QVRPt2 file.\n", "Can't read ICONS.LOD.QVRPt2 file.\n"},
};

const std::string kBanner = "\nExtracting SAVED Game data.\n";

// What the installer prints up to the completion test, for a save whose party
// block is at `offset` and whose flag byte reads `flag`.
std::string Head(std::uint32_t offset, unsigned flag) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "Offset is %x.\nData is %x.\nData is %x.\n",
                static_cast<unsigned>(offset), flag, flag & 0x80);
  return kBanner + buf;
}
// ... then the announcements of the first `upTo` archives.
std::string Announced(std::uint32_t offset, unsigned flag, int upTo = 4) {
  std::string s = Head(offset, flag);
  for (int i = 0; i < upTo; i++) s += kArchiveRows[i].announce;
  return s;
}
#ifdef _WIN32
const std::string kSwapStop = "\nCan't open SPRITES.LOD.QVRPt2 file.\n";  // before any change
const char* const kLinkedLock = "echo >../elsewhere && ln -s ../elsewhere QVR.lock";  // to a file
#else
const std::string kSwapStop = Head(20000, 0xC5) + "\nDecoding SPRITES.LOD.\nCan't close Outfile.\n";
const char* const kLinkedLock = "ln -s ../elsewhere QVR.lock";
#endif

const std::string kRefusal =
    "You must first complete QVR Part1  before you can play QVR Part2.\nPress any key to "
    "continue.\n";
const std::string kInstalled =
    "QVR Part2 is already installed.\nRun Reinstall_QVRPt1 to go back to QVR Part1.\n";
const std::string kAgain = "Run Reinstall_QVRPt1, then QVRPt2Installer_mod again.\n";
const std::string kUnfinished = "An earlier install of QVR Part2 did not finish.\n" + kAgain;
const std::string kChanged =
    "The game's files were changed after QVR Part2 was installed.\n" + kAgain;
const std::string kRunAgain = ", then run QVRPt2Installer_mod again.\n";
const std::string kNoRoom =
    "Not enough free disk space for QVR Part2 (it needs 127 MB).\nFree some space" + kRunAgain;
const std::string kNoSounds = "\nCan't move SOUNDS.QVRPt2 folder.\n";
const std::string kSoundsStuck = "\nCan't move SOUNDS folder.\n";
const std::string kNoDownload =
    "Can't find the DATA.QVRPt2 folder.\nUnpack the QVR Part2 download beside DATA" + kRunAgain;
const std::string kSoundsEmpty =
    "SOUNDS.QVRPt2 folder is empty.\nUnpack the QVR Part 2 download again" + kRunAgain;
std::string Nested(const std::string& download) {
  return download + " holds another " + download + " folder.\nMove what is in it up one level" +
         kRunAgain;
}
std::string CantWrite(const std::string& program = "QVRPt2Installer_mod") {
  return "Can't write to the game's folders.\nRun " + program +
         " as administrator, or move the game out of Program Files.\n";
}
const std::string kReadOnlyDisk =
    "The game's disk is write-protected.\nAllow writing to it, or "
    "copy the game to another disk, then run ";
std::string InUseSaid(const std::string& what, const std::string& program = "QVRPt2Installer_mod") {
  return what + " is in use by another program.\nClose the game, then run " + program + " again.\n";
}
bool installed;  // what the last install called here told its main
const std::string kBusy =
    "Another copy of QVRPt2Installer_mod or Reinstall_QVRPt1 is running in this folder.\n";

struct InstallTest : ::testing::Test {
  TempDir tmp;
  std::string root = tmp / "game";
  std::string saves;
  sample::Options options;
  Patience patience;  // for other programs' holds in the runs called here

  // Writes the installation as `options` say.
  void Build() {
    fs::remove_all(root);
    saves = sample::WriteInstallation(root, options);
    ASSERT_FALSE(saves.empty());
  }
  std::string At(const std::string& rel) const { return root + "/" + rel; }
  // An install by hand, `swapped` archives far: the second part's are holes of their size.
  void SwapByHand(int swapped) {
    for (int i = 0; i < swapped; i++) {
      fs::rename(At(kArchiveRows[i].live), At(kArchiveRows[i].live + ".QVRPt1"));
      sample::WriteFile(At(kArchiveRows[i].live), {});
      fs::resize_file(At(kArchiveRows[i].live), sample::kPt2[i].count);
    }
    if (swapped) fs::rename(At("SOUNDS"), At("SOUNDS.QVRPt1"));
    if (swapped) fs::rename(At("SOUNDS.QVRPt2"), At("SOUNDS"));
  }
  std::string Save(const char* name) const { return saves + "/" + name; }
  // Each program's run, called here as its main calls it (the lock aside).
  RunResult Install(const std::string& keys = "x\n", long fileSizeLimit = 0) {
    return Call([](::Run& r) { return RunInstall(r, &installed); }, saves, keys, fileSizeLimit,
                patience);
  }
  RunResult Restore() { return Call(RunRestore, saves, "", 0, patience); }
  // An install stopped by what no check foresees: the disk fills in SPRITES.LOD
  // (POSIX); a held download stops it before it starts (Windows). Says kSwapStop.
  RunResult InstallStoppedInSwap() {
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
  // The saves once the new save, the template with the player's party block
  // at 148402 and its first-part progress cleared, has taken the save's name;
  // an older backup moves to the first free numbered name.
  Tree SavesSwapped(Tree t) {
    Bytes player = sample::PlayerSave(options.save), s = sample::TemplatePlain();
    unsigned char* party = &player[options.save.offset];
    ApplyPartyReset(party);
    std::copy(party, party + 64720, s.begin() + 148402);
    const std::string old = "Saves/save000.zsv.Original";
    for (int n = 1; t.count(old); n++)
      if (!t.count(old + "." + std::to_string(n))) RenameIn(t, old, old + "." + std::to_string(n));
    RenameIn(t, "Saves/save000.zsv", old);
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
  // The tree a complete install leaves, or one stopped just before the new
  // save took the save's name.
  Tree AfterInstall(Tree t, bool committed = true) {
    Tree swapped = ArchivesSwapped(committed ? SavesSwapped(t) : t);
    RenameIn(swapped, "SOUNDS", "SOUNDS.QVRPt1");
    RenameIn(swapped, "SOUNDS.QVRPt2", "SOUNDS");
    if (!committed) swapped["Saves/save000.zsv.QVRPt2"] = SavesSwapped(t)["Saves/save000.zsv"];
    return swapped;
  }
  // The player's save, byte for byte, under its own name or as the backup.
  void ExpectPlayerSaveKept(const Bytes& player) {
    EXPECT_TRUE(sample::ReadFile(Save("save000.zsv")) == player ||
                sample::ReadFile(Save("save000.zsv.Original")) == player);
  }
};

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
      {{true, lots, lots, 1, 1}, {true, sInK + m - 1, lots, k, 2}, false},  // the save's own unit
      {{}, {}, true},  // what cannot be read does not stop the run
      {{}, {true, s + m - 1, lots, 1, 2}, false},
      {{true, 0, 0, k, 1}, {true, 0, 0, k, 1}, true},  // nor a volume that knows no size
  };
  for (const auto& r : rows)
    EXPECT_EQ(EnoughRoom(r.data, r.saves), r.enough) << r.data.free << " " << r.saves.free;
}

// Any flag byte from 0x80 to 0xFF shows the first part completed. A folder
// of a download's own name beside its files is no mistake.
TEST_F(InstallTest, CompleteInstallCarriesPartyAndSwapsDataAndSounds) {
  for (unsigned flag : {0xC5u, 0x80u, 0xFFu}) {
    options.save.flag = static_cast<unsigned char>(flag);
    Build();
    for (const char* beside : {"DATA.QVRPt2/DATA.QVRPt2", "SOUNDS.QVRPt2/SOUNDS.QVRPt2"})
      if (flag == 0xFF) fs::create_directory(At(beside));
    Tree before = Snapshot(root);
    EXPECT_EQ(Install(""), (RunResult{0, Announced(20000, flag)}));
    EXPECT_TRUE(installed);
    EXPECT_EQ(Snapshot(root), AfterInstall(before));
  }
}

// An install refused, or stopped by a check or by a failure after the new
// save was made, changes nothing at all. Each row writes an installation,
// moves the first `swapped` archives and the sounds aside, then changes one thing.
// Rows named "...ExplorerFiles" add what Explorer, macOS and a Mac's zip leave in it.
enum Change { kNone, kFlagsAtWrongPlace, kRemove, kCutByOne, kFolder, kFile, kEmpty, kNested };
struct StopRow {
  std::string name;
  sample::SaveLayout save;
  int swapped;
  Change change;
  std::string path;  // below the installation's root
  RunResult said;
  std::string keys = "x\n";
  long fileSizeLimit = 0;  // a full disk past that size (POSIX)
};
struct StopTest : InstallTest, ::testing::WithParamInterface<StopRow> {};

TEST_P(StopTest, EndsWithMessageAndChangesNothing) {
  const StopRow& r = GetParam();
  options.save = r.save;
  options.hollow = true;  // nothing is decoded
  Build();
  SwapByHand(r.swapped);
  Bytes save = sample::PlayerSave(r.save);
  for (std::uint64_t wrong : {r.save.offset + 302ull, (r.save.offset + 302ull) & 0x7FFFFFFF})
    if (r.change == kFlagsAtWrongPlace && wrong < save.size()) save[wrong] = 0xFF;
  sample::WriteFile(Save("save000.zsv"), save);
  const std::string path = At(r.path);
  if (r.change == kCutByOne) fs::resize_file(path, fs::file_size(path) - 1);
  if (r.change == kNested) fs::rename(path, tmp / "unpacked");
  if (r.change == kRemove || r.change == kFile || r.change == kEmpty) fs::remove_all(path);
  if (r.change == kFile) sample::WriteFile(path, {1, 2, 3});
  if (r.change == kFolder || r.change >= kEmpty) fs::create_directories(path);
  if (r.change == kNested)
    fs::rename(tmp / "unpacked", path + "/" + fs::path(path).filename().string());
  for (const char* name : {"Desktop.ini", "THUMBS.DB", ".DS_Store", "__MACOSX", "._Games.lod"})
    if (r.name.find("ExplorerFiles") != std::string::npos)
      sample::WriteFile(path + "/" + name, {1});
  Tree before = Snapshot(root);
  EXPECT_EQ(Install(r.keys, r.fileSizeLimit), r.said);
  EXPECT_FALSE(installed);  // a double-clicked window would not say it is
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
  const RunResult noGames = {1, "Can't find Games.lod file.\nReinstall QVR Part1" + kRunAgain};
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
      // The player's own folder of that name is no install's; a refusal leaves it.
      {"SoundBackupNameTaken", unfinished, 0, kFolder, "SOUNDS.QVRPt1", refused},
      // Only all four archives aside, with no new save left, make an install complete.
      {"ThreeArchivesAsideWithSoundsSwapped", party, 3, kNone, "", taken},
      {"NewSaveLeftWithAllSwapped", party, 4, kFile, "Saves/save000.zsv.QVRPt2", taken},
      {"CompleteButNoLiveSounds", party, 4, kRemove, "SOUNDS", taken},
      {"CompleteWithSoundsUnpackedAgain", party, 4, kFolder, "SOUNDS.QVRPt2/x", {1, kInstalled}},
      {"CompleteThenArchiveRepaired", party, 4, kFile, "DATA/ICONS.LOD", {1, kChanged}},
      {"BackupNameTakenByFolder", party, 0, kFolder, "DATA/ICONS.LOD.QVRPt1", taken},
      {"LiveArchiveMissing", party, 0, kRemove, "DATA/Games.lod", noGames},
      // A download unpacked wrong, or the first part's sounds missing.
      {"DataOneLevelTooDeep", party, 0, kNested, "DATA.QVRPt2", {1, Nested("DATA.QVRPt2")}},
      {"SoundsOneLevelTooDeep", party, 0, kNested, "SOUNDS.QVRPt2", {1, Nested("SOUNDS.QVRPt2")}},
      {"SoundsDownloadEmpty", party, 0, kEmpty, "SOUNDS.QVRPt2", {1, kSoundsEmpty}},
      {"SoundsOnlyExplorerFiles", party, 0, kEmpty, "SOUNDS.QVRPt2", {1, kSoundsEmpty}},
      {"DataDeepBesideExplorerFiles", party, 0, kNested, "DATA.QVRPt2", {1, Nested("DATA.QVRPt2")}},
      {"SoundsDownloadAFile", party, 0, kFile, "SOUNDS.QVRPt2", {1, kNoSounds}},
      {"DataDownloadMissing", party, 0, kRemove, "DATA.QVRPt2", {1, kNoDownload}},
      {"LiveSoundsMissing", party, 0, kRemove, "SOUNDS", {1, kSoundsStuck}},
  };
#ifndef _WIN32
  // The disk fills inside a block of the new save, or only at its last flush.
  const RunResult full = {1, kBanner + "Can't close Outfile.\n"};
  for (long limit : {100000, 245000})
    rows.push_back({"DiskFullAt" + std::to_string(limit), party, 0, kNone, "", full, "x\n", limit});
#endif
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
// Enter does not end, the installer has changed nothing and holds no lock:
// a second program started meanwhile runs, and only while one holds the lock
// does another stop at once.
struct PromptTest : InstallTest, ::testing::WithParamInterface<bool> {};

TEST_P(PromptTest, WaitingInstallerHasChangedNothing) {
  options.save.flag = 0x10;
  Build();
  Tree before = Snapshot(root);
  Child installer("QVRPt2Installer_mod", saves);
  EXPECT_EQ(installer.Read(kRefusal, 30), Head(20000, 0x10) + kRefusal);
  EXPECT_EQ(Snapshot(root), before);
  if (GetParam()) {
    const RunResult refused = {0, Head(20000, 0x10) + kRefusal};
    EXPECT_EQ(RunProgram("QVRPt2Installer_mod", saves, "x\n"), refused);
    Lock lock;
    ASSERT_EQ(TakeLock((saves + "/QVR.lock").c_str(), &lock), kOk);
    for (const char* program : {"QVRPt2Installer_mod", "Reinstall_QVRPt1"}) {
      EXPECT_EQ(RunProgram(program, saves), (RunResult{1, kBusy})) << program;
      EXPECT_EQ(Snapshot(root), before);
    }
    DropLock(&lock);
    installer.Kill();
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
// However the game was left, a restore brings the first part back, and the
// live sounds stay when no first-part sounds wait aside. Between runs a repair
// may write over ICONS.LOD, the player rename SOUNDS.QVRPt1 or mark files read-only.
enum Act { kInstallAgain, kRestoreAgain, kStopInSwap, kSaveBack, kRepair, kSoundsAway, kReadOnly };
enum End { kAsBefore, kComplete, kCompleteTwice, kFirstPartAgain, kPt1SoundsLost };
struct Step {
  Act act;
  int status;
  std::string out;
};
enum Setup { kPlain, kOnlyBackup, kNoSave, kOldBackup, kNewSaveLeft, kNoPt2Sounds, kOwnSounds };
struct Rerun {
  const char* what;
  Setup setup;
  std::vector<Step> steps;
  End end;
};

struct RerunTest : InstallTest, ::testing::WithParamInterface<Rerun> {};

TEST_P(RerunTest, RunningEitherProgramAgainKeepsThePlayersSave) {
  const Rerun& rerun = GetParam();
  if (rerun.setup == kOldBackup) options.save.flag = 0x7F;
  Build();
  if (rerun.setup == kOwnSounds) fs::copy(At("SOUNDS"), At("SOUNDS.QVRPt1"));
  Tree pristine = Snapshot(root);
  const std::string save = Save("save000.zsv");
  if (rerun.setup == kOnlyBackup) fs::rename(save, save + ".Original");
  if (rerun.setup == kNoSave) fs::remove(save);
  if (rerun.setup == kOldBackup) sample::WriteFile(save + ".Original", sample::Filled(77, 5000));
  if (rerun.setup == kNewSaveLeft) sample::WriteFile(save + ".QVRPt2", sample::Filled(78, 300000));
  if (rerun.setup == kNoPt2Sounds) fs::remove_all(At("SOUNDS.QVRPt2"));
  Tree before = Snapshot(root);
  Bytes player = sample::ReadFile(Save("save000.zsv"));
  if (player.empty()) player = sample::ReadFile(Save("save000.zsv.Original"));
  for (const Step& step : rerun.steps) {
    if (step.act == kSaveBack) sample::WriteFile(Save("save000.zsv"), player);
    if (step.act == kRepair) sample::WriteFile(At("DATA/ICONS.LOD"), sample::Pt1Archive(3));
    if (step.act == kSoundsAway) fs::rename(At("SOUNDS.QVRPt1"), At("SOUNDS.Part1"));
    for (const auto& e : fs::recursive_directory_iterator(root))  // the game's, not the saves
      if (step.act == kReadOnly && e.is_regular_file() && e.path().parent_path() != saves)
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::remove);
    if (step.act >= kSaveBack) continue;
    RunResult r = step.act == kRestoreAgain   ? Restore()
                  : step.act == kInstallAgain ? Install()
                                              : InstallStoppedInSwap();
    EXPECT_EQ(r, (RunResult{step.status, step.out}));
    ExpectPlayerSaveKept(player);
  }
  Tree want = rerun.end == kAsBefore         ? before
              : rerun.end == kFirstPartAgain ? SavesSwapped(pristine)
                                             : AfterInstall(pristine);
  if (rerun.end == kCompleteTwice)
    want["Saves/save000.zsv.Original.1"] = want["Saves/save000.zsv.Original"];
  if (rerun.setup == kNewSaveLeft)  // kept: the run did not make it
    want["Saves/save000.zsv.QVRPt2.1"] = before["Saves/save000.zsv.QVRPt2"];
  if (rerun.setup == kOwnSounds) RenameIn(want, "SOUNDS.QVRPt1", "SOUNDS.QVRPt1.1");  // moved aside
  if (rerun.end == kPt1SoundsLost) RenameIn(want, "SOUNDS.QVRPt1", "SOUNDS.Part1");
  EXPECT_EQ(Snapshot(root), want);
}

std::vector<Rerun> Reruns() {
  const Step done{kInstallAgain, 0, Announced(20000, 0xC5)}, restored{kRestoreAgain, 0, ""},
      stopped{kStopInSwap, 1, kSwapStop}, refused{kInstallAgain, 0, Head(20000, 0x7F) + kRefusal},
      // The new save's own marker leads to its party block, whose flag is clear.
      newSaveRefused{kInstallAgain, 0, Head(148402, 0) + kRefusal}, saveBack{kSaveBack, 0, ""},
      installed{kInstallAgain, 1, kInstalled},
      noOriginal{kInstallAgain, 1, kBanner + "Can't open Original file.\n"},
      noSounds{kInstallAgain, 1, kNoSounds}, repair{kRepair, 0, ""},
      changed{kInstallAgain, 1, kChanged}, soundsGone{kSoundsAway, 0, ""},
      soundsLost{kRestoreAgain, 1, "Can't put back SOUNDS folder.\n"}, readOnly{kReadOnly, 0, ""};
  return {
      {"CompleteThenInstall", kPlain, {done, installed}, kComplete},
      {"CompleteThenRestoreTwice", kPlain, {done, restored, restored}, kFirstPartAgain},
      {"StoppedInSwapThenRestore", kPlain, {stopped, restored}, kAsBefore},
      {"RestoreTwiceWithoutAnInstall", kPlain, {restored, restored}, kAsBefore},
      {"CompleteRestoreInstall", kPlain, {done, restored, newSaveRefused}, kFirstPartAgain},
      {"SaveBackAfterARestore", kPlain, {done, restored, saveBack, done}, kCompleteTwice},
      {"OnlyAnOldBackupStoppedThenRestore", kOnlyBackup, {stopped, restored}, kAsBefore},
      {"NeitherSaveNorBackup", kNoSave, {noOriginal}, kAsBefore},
      {"StoppedThenRestoreAndInstall", kPlain, {stopped, restored, done}, kComplete},
      {"RefusedTwiceAndTheOldBackupStays", kOldBackup, {refused, refused}, kAsBefore},
      {"NewSaveLeftByACutOffRun", kNewSaveLeft, {done}, kComplete},
      {"NoSecondPartSounds", kNoPt2Sounds, {noSounds, noSounds, restored}, kAsBefore},
      {"GameRepaired", kPlain, {done, repair, changed, restored, saveBack, done}, kCompleteTwice},
      {"SoundsAsideDeleted", kPlain, {done, soundsGone, soundsLost, soundsLost}, kPt1SoundsLost},
      {"PlayersOwnSoundsCopy", kOwnSounds, {restored, done, restored}, kFirstPartAgain},
      {"ReadOnlyAfterInstall", kPlain, {done, readOnly, restored, saveBack, done}, kCompleteTwice},
  };
}

INSTANTIATE_TEST_SUITE_P(Each, RerunTest, ::testing::ValuesIn(Reruns()),
                         [](const ::testing::TestParamInfo<Rerun>& info) {
                           return info.param.what;
                         });

// Unable to move everything back, the restorer says so rather than pass for a success: the sounds,
// which stop it when they cannot come back, then each archive whose live file stays (its backup
// gone or a folder). The second part's sounds go beside a new download.
struct RestoreTest : InstallTest {};

TEST_F(RestoreTest, SaysWhatItCouldNotPutBack) {
  options.sources = false;
  Build();
  // A folder where Games.lod goes, and the second part's sounds still there.
  fs::remove(At("DATA/Games.lod"));
  fs::create_directory(At("DATA/Games.lod"));
  for (const char* aside : {"DATA/Games.lod.QVRPt1", "DATA/ICONS.LOD.QVRPt1"})
    sample::WriteFile(At(aside), sample::Filled(5, 100));
  fs::create_directory(At("SOUNDS.QVRPt1"));
  // The second part's BITMAPS.LOD and SPRITES.LOD live, a folder of BITMAPS' backup name.
  for (int i : {0, 2}) fs::resize_file(At(kArchiveRows[i].live), sample::kPt2[i].count);
  fs::create_directory(At("DATA/BITMAPS.LOD.QVRPt1"));
  Tree want = Snapshot(root);
  RenameIn(want, "SOUNDS", "SOUNDS.QVRPt2.1");
  RenameIn(want, "SOUNDS.QVRPt1", "SOUNDS");
  RenameIn(want, "DATA/ICONS.LOD.QVRPt1", "DATA/ICONS.LOD");
  const std::string games = "Can't put back Games.lod file.\n";
  const std::string bitmaps =
      "Can't put back BITMAPS.LOD file.\nCan't put back SPRITES.LOD file.\n";
  EXPECT_EQ(Restore(), (RunResult{1, games + bitmaps}));
  EXPECT_EQ(Snapshot(root), want);
  EXPECT_EQ(Restore(), (RunResult{1, games + bitmaps}));
#if defined(__linux__) && defined(__x86_64__)
  // Aside again, the first part's refused: the second part's stay in SOUNDS, nothing moves.
  fs::rename(At("SOUNDS"), At("SOUNDS.QVRPt1"));
  fs::rename(At("SOUNDS.QVRPt2.1"), At("SOUNDS"));
  Traced stuck{-1, "rename ../SOUNDS.QVRPt1 ../SOUNDS", {}};
  Tree stopped = Snapshot(root);
  EXPECT_EQ(RunTraced("Reinstall_QVRPt1", saves, stuck).out, "Can't put back SOUNDS folder.\n");
  EXPECT_EQ(Snapshot(root), stopped);
  EXPECT_EQ(Restore(), (RunResult{1, games + bitmaps}));  // and a second run puts them back
#endif
}

const std::string kNotRenamed = "Can't rename save000.zsv.QVRPt2 to save000.zsv.\n" + kAgain;

#if defined(__linux__) && defined(__x86_64__)
// A rename or sync that fails after every check passed (a name taken
// meanwhile, a file held past the wait, a failing disk): the installer says
// where it stopped, keeps the player's save and any file of the new save's
// name it did not make, and a restore and an install complete it.
enum Left { kOwnSoundsAside, kUnchanged, kUncommitted, kIconsAside, kSaveAside };
struct LateRow {
  const char* name;
  std::string fail;  // "rename FROM TO" as the program names them, or "sync PATH"; "|" between
  std::string said;
  Left left;
  int err = EIO;
};
struct LateStopTest : InstallTest, ::testing::WithParamInterface<LateRow> {};

TEST_P(LateStopTest, SaysWhereItStoppedAndKeepsThePlayersSave) {
  const LateRow& r = GetParam();
  Build();
  const std::string newSave = "Saves/save000.zsv.QVRPt2";
  if (r.fail.find(".Original.2") != std::string::npos) {  // an older backup, the next name taken
    sample::WriteFile(Save("save000.zsv.Original"), sample::Filled(77, 5000));
    fs::create_directory(Save("save000.zsv.Original.1"));
  }
  if (r.fail.find(".QVRPt2.1") != std::string::npos)  // the player's own save of that name
    sample::WriteFile(At(newSave), sample::Filled(78, 3000));
  if (r.left == kOwnSoundsAside) fs::copy(At("SOUNDS"), At("SOUNDS.QVRPt1"));  // a player's copy
  Tree before = Snapshot(root), uncommitted = AfterInstall(before, false);
  Tree left[] = {before, before, uncommitted, before, uncommitted};
  RenameIn(left[kIconsAside], kArchiveRows[3].live, kArchiveRows[3].live + ".QVRPt1");
  RenameIn(left[kSaveAside], "Saves/save000.zsv", "Saves/save000.zsv.Original");
  RenameIn(left[kOwnSoundsAside], "SOUNDS.QVRPt1", "SOUNDS.QVRPt1.1");
  const std::string sync = "sync " + fs::weakly_canonical(At(r.fail.substr(5))).string();
  Traced failing{-1, r.fail.rfind("sync ", 0) ? r.fail : sync, {}, r.err};
  EXPECT_EQ(RunTraced("QVRPt2Installer_mod", saves, failing), (RunResult{1, r.said}));
  EXPECT_EQ(Snapshot(root), left[r.left]);
  EXPECT_TRUE(r.left <= kUnchanged || Install().out == kUnfinished);
  EXPECT_EQ(Restore(), (RunResult{0, ""}));
  Tree want = AfterInstall(left[std::min(r.left, kUnchanged)]), kept = Snapshot(root);
  want.erase(newSave);
  if (kept.count(newSave)) want[newSave + ".1"] = kept[newSave];
  EXPECT_EQ(Install(), (RunResult{0, Announced(20000, 0xC5)}));
  EXPECT_EQ(Snapshot(root), want);
}

const std::string kAll = Announced(20000, 0xC5), kSwap = Head(20000, 0xC5),
                  kSpritesAside = "rename ../DATA/SPRITES.LOD ../DATA/SPRITES.LOD.QVRPt1";
const std::string kDiskError = " file.\nThe disk reported an error. Check it" + kRunAgain;
const LateRow kLateRows[] = {
    {"NewSaveNameTaken", "rename save000.zsv.QVRPt2 save000.zsv", kAll + kNotRenamed, kUncommitted},
    {"OldBackupCannotMove", "rename save000.zsv.Original save000.zsv.Original.2",
     kAll + kNotRenamed, kUncommitted},
    {"SaveCannotGoBack",
     "rename save000.zsv.QVRPt2 save000.zsv|rename save000.zsv.Original save000.zsv",
     kAll + kNotRenamed + "Your save is save000.zsv.Original until then.\n", kSaveAside},
    {"SoundsCannotMoveAside", "rename ../SOUNDS ../SOUNDS.QVRPt1", kAll + kSoundsStuck, kUnchanged},
    {"SecondPartSoundsCannotMoveIn", "rename ../SOUNDS.QVRPt2 ../SOUNDS", kAll + kNoSounds,
     kUnchanged},
    {"DiskFullInSecondArchive", "sync DATA/Games.lod",
     Announced(20000, 0xC5, 2) + "Can't close Outfile.\n", kUnchanged, ENOSPC},
    {"DataFolderNotSynced", "sync DATA", kAll + "\nCan't write the changes to the disk.\n" + kAgain,
     kUncommitted},
    {"ArchiveCannotMoveAside", kSpritesAside, kSwap + "Can't move SPRITES.LOD" + kDiskError,
     kUnchanged},
    {"ArchiveAsideRefused", kSpritesAside, kSwap + CantWrite(), kUnchanged, EACCES},
    {"ArchiveCannotMoveBack", kSpritesAside + "|rename ../DATA/ICONS.LOD.QVRPt1 ../DATA/ICONS.LOD",
     kSwap + "Can't move SPRITES.LOD" + kDiskError + kAgain, kIconsAside},
    {"OwnSoundsMovedFirst", "rename ../DATA/ICONS.LOD ../DATA/ICONS.LOD.QVRPt1",
     kSwap + "Can't move ICONS.LOD" + kDiskError, kOwnSoundsAside},
    {"LeftoverNewSaveCannotMove", "rename save000.zsv.QVRPt2 save000.zsv.QVRPt2.1",
     kBanner + "Can't open OutFile file.\n", kUnchanged},
};
INSTANTIATE_TEST_SUITE_P(Each, LateStopTest, ::testing::ValuesIn(kLateRows),
                         [](const ::testing::TestParamInfo<LateRow>& info) {
                           return info.param.name;
                         });
#endif

#ifdef _WIN32

// What Explorer's Properties show for each program.
TEST(VersionTest, EachProgramCarriesProductAndReleaseVersion) {
  for (std::string name : {"QVRPt2Installer_mod", "Reinstall_QVRPt1"}) {
    SCOPED_TRACE(name);
    std::string exe = HereDir() + "\\" + name + ".exe";
    DWORD unused = 0, size = GetFileVersionInfoSizeA(exe.c_str(), &unused);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
    const std::string fields[][2] = {{"ProductName", "QVR part switcher"},
                                     {"ProductVersion", QVR_VERSION},
                                     {"FileVersion", QVR_VERSION},
                                     {"OriginalFilename", name + ".exe"}};
    for (const auto& [key, want] : fields) {
      void* value = nullptr;
      UINT length = 0;
      std::string path = "\\StringFileInfo\\040904B0\\" + key;
      ASSERT_TRUE(VerQueryValueA(info.data(), path.c_str(), &value, &length)) << key;
      EXPECT_EQ(std::string(static_cast<const char*>(value)), want) << key;
    }
  }
}

// A scanner that reads a file for a moment (sharing all but its deletion) is
// waited out, and a second into the first wait the player is told, once; one
// that keeps an older backup (or first-part archive) stops the install (or
// restore) after the wait, before any change.
// Windows renames a read-only backup.
TEST_F(InstallTest, SaveHeldByAScannerIsWaitedFor) {
  Build();
  const std::string old = Save("save000.zsv.Original");  // read-only, the next name taken
  sample::WriteFile(old, sample::Filled(77, 5000));
  fs::permissions(old, fs::perms::owner_write, fs::perm_options::remove);
  fs::create_directory(old + ".1");
  Tree before = Snapshot(root);
  auto scan = [](const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  };
  const std::string waiting = "Waiting for another program to let go of ";
  patience.limit = 3000;  // the 10 s are the wait's own test
  HANDLE scanner = scan(old);
  EXPECT_EQ(Install(), (RunResult{1, waiting + "save000.zsv.Original.\n" +
                                         InUseSaid("save000.zsv.Original")}));
  CloseHandle(scanner);
  EXPECT_EQ(Snapshot(root), before);

  scanner = scan(At("DATA/SPRITES.LOD"));
  std::thread letGo([&] {  // 0.5 s at the start, unsaid; the new save till 1.5 s after the swap
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    CloseHandle(scanner);
    for (int ms = 0;
         ms < 30000 && (scanner = scan(Save("save000.zsv.QVRPt2"))) == INVALID_HANDLE_VALUE; ms++)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int ms = 0; ms < 30000 && !fs::exists(At("SOUNDS.QVRPt1")); ms++)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    CloseHandle(scanner);
  });
  EXPECT_EQ(Install(), (RunResult{0, Announced(20000, 0xC5) + waiting + "save000.zsv.QVRPt2.\n"}));
  letGo.join();
  scanner = scan(At("DATA/ICONS.LOD.QVRPt1"));
  patience.limit = 1100;  // a second to say it
  EXPECT_EQ(Restore(), (RunResult{1, waiting + "ICONS.LOD.QVRPt1.\n" +
                                         InUseSaid("ICONS.LOD.QVRPt1", "Reinstall_QVRPt1")}));
  CloseHandle(scanner);
  EXPECT_EQ(Snapshot(root), AfterInstall(before));
}
#endif

#if defined(__linux__) && defined(__x86_64__)
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
    // names made, before the new save takes the save's name; that name
    // after, and a failure of that last sync is said (x86-64: Fail).
    auto sync = [](const std::string& path) { return "sync " + fs::canonical(path).string(); };
    const std::string notOnDisk = "Can't write the changes to the disk.\n";
    Traced whole;
    whole.fail = sync(saves);
    ASSERT_EQ(RunTraced("QVRPt2Installer_mod", saves, whole),
              (RunResult{1, Announced(20000, 0xC5) + "\n" + notOnDisk}));
    const auto& trace = whole.ops;
    auto at = [&](const std::string& op, size_t from = 0) {
      return std::find(trace.begin() + from, trace.end(), op) - trace.begin();
    };
    auto commit = at("rename save000.zsv.QVRPt2 save000.zsv"), end = trace.end() - trace.begin();
    ASSERT_LT(commit, end);
    for (const ArchiveRow& a : kArchiveRows) EXPECT_LT(at(sync(At(a.live))), commit) << a.live;
    for (std::string folder : {"DATA", "."}) EXPECT_LT(at(sync(At(folder))), commit) << folder;
    EXPECT_LT(at(sync(saves), commit), end);
    // The new save, made, written and synced through one handle.
    const std::string newSave = sync(saves) + "/save000.zsv.QVRPt2";
    EXPECT_EQ(std::count(trace.begin(), trace.begin() + commit, newSave), 1);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), "open save000.zsv.QVRPt2"), 1);
    // The restorer ends by syncing the folders its renames changed, and says
    // when that fails.
    Traced restore;
    restore.fail = sync(At("DATA"));
    ASSERT_EQ(RunTraced("Reinstall_QVRPt1", saves, restore),
              (RunResult{1, notOnDisk + "Run Reinstall_QVRPt1 again.\n"}));
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
    fs::remove(Save("save000.zsv.QVRPt2.1"));  // the cut run's new save, kept by the next
    EXPECT_EQ(Snapshot(root), want);
    backToFirstPart();  // for the next cut
  }
  EXPECT_EQ(Snapshot(tmp / "sources"), sources);
  EXPECT_GE(op, 30);  // the opens, closes, renames and deletes of a whole install
  // The restorer too, cut off or failing (EIO) anywhere, then run again, puts Part 1 back.
  backToFirstPart();
  const Tree firstPart = Snapshot(root);
  for (int failing = 0; failing < 2; failing++) {
    Traced cut;
    for (op = GetParam(); SwapByHand(4), (failing ? cut.failAt : cut.killAt) = op,
        RunTraced("Reinstall_QVRPt1", saves, cut).status == 137 || (failing && cut.failAt == -1);
         op += 4) {
      SCOPED_TRACE("restore stopped at file operation " + std::to_string(op));
      EXPECT_EQ(Restore(), (RunResult{0, ""}));
      EXPECT_EQ(Snapshot(root), firstPart);
    }
    EXPECT_GE(op, 12);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFourthCut, InstallCutOffTest, ::testing::Range(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "From" + std::to_string(info.param);
                         });
#endif

// Each program stops before any change, saying why, and makes no lock file
// outside the save folder: started from the wrong folder; run by a player
// (`nobody` for root) who may not write a folder, or rename root's files in a
// sticky DATA (POSIX); with a 1 MB file system mounted over one (Linux); with
// a file, or any file in a sound folder, held as the game holds it (Windows);
// QVR.lock a link (as root). Aside as an install leaves it.
TEST_F(InstallTest, ProgramsThatCannotWorkHereStopBeforeAnyChange) {
  options.hollow = true;
  Build();
  const std::string i = "QVRPt2Installer_mod", r = "Reinstall_QVRPt1",
                    all[] = {"", "Saves", "DATA"};
  auto noData = [](const std::string& program) {
    return "Can't find the DATA folder.\nStart " + program + " in the game's save folder.\n";
  };
  enum How { kWrongFolder, kHeld, kLockLink, kLocked, kSmall, kReadOnly, kSticky };
  const struct {
    std::string program;
    How how;
    std::vector<std::string> at;  // the folders locked or made small, or the file held
    int aside;  // moved aside by a stopped install: 1 an archive and the sounds, 2 the sounds
    std::string said;  // with exit status 1, or nothing with 0
  } rows[] = {
      {i, kWrongFolder, {}, false, noData(i)},
      {r, kWrongFolder, {}, false, noData(r)},
      {i, kLocked, {"Saves"}, false, CantWrite(i)},
      {i, kLocked, {"DATA"}, false, CantWrite(i)},
      {i, kLocked, {""}, false, CantWrite(i)},
      {i, kLocked, {all, all + 3}, false, CantWrite(i)},
      {r, kLocked, {"DATA"}, true, CantWrite(r)},
      {r, kLocked, {""}, true, CantWrite(r)},
      {r, kLocked, {""}, 2, ""},  // the player's own SOUNDS.QVRPt1 stays
      {r, kLocked, {all, all + 3}, true, CantWrite(r)},
      {r, kLocked, {all, all + 3}, false, ""},
      {i, kSticky, {"DATA"}, false, CantWrite(i)},
      {i, kSticky, {""}, false, CantWrite(i)},  // SOUNDS, root's
      {r, kSticky, {"DATA"}, true, CantWrite(r)},
      {i, kReadOnly, {""}, false, kReadOnlyDisk + i + " again.\n"},
      {r, kReadOnly, {""}, true, kReadOnlyDisk + r + " again.\n"},
      {i, kSmall, {"DATA"}, false, kNoRoom},
      {i, kSmall, {"Saves"}, false, kNoRoom},
      {i, kHeld, {"DATA/BITMAPS.LOD"}, false, InUseSaid("BITMAPS.LOD", i)},
      {i, kHeld, {"SOUNDS"}, false, InUseSaid("SOUNDS", i)},
      {i, kHeld, {"SOUNDS/Click.wav"}, false, InUseSaid("SOUNDS", i)},
      {i, kHeld, {"SOUNDS.QVRPt2/Battle.wav"}, false, InUseSaid("SOUNDS.QVRPt2", i)},
      {i, kHeld, {"SOUNDS/Voices"}, false, InUseSaid("SOUNDS", i)},  // a command prompt's folder
      {i, kHeld, {"SOUNDS/Voices/Deeper"}, false, InUseSaid("SOUNDS", i)},
      {i, kHeld, {"Saves/save000.zsv"}, false, InUseSaid("save000.zsv", i)},
      {i, kHeld, {"SOUNDS/\u0417\u0432\u0443\u043a.wav"}, false, InUseSaid("SOUNDS", i)},
      {r, kHeld, {"DATA/BITMAPS.LOD.QVRPt1"}, true, InUseSaid("BITMAPS.LOD.QVRPt1", r)},
      {r, kHeld, {"DATA/BITMAPS.LOD"}, true, InUseSaid("BITMAPS.LOD", r)},
      {r, kHeld, {"SOUNDS.QVRPt1"}, true, InUseSaid("SOUNDS.QVRPt1", r)},
      {r, kHeld, {"SOUNDS"}, true, InUseSaid("SOUNDS", r)},
      {r, kHeld, {"SOUNDS.QVRPt1/Click.wav"}, true, InUseSaid("SOUNDS.QVRPt1", r)},
      {i, kLockLink, {}, true, kUnfinished},
      {r, kLockLink, {}, false, ""},
  };
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  patience.limit = 300;  // for the held rows, run in this process: the holder never lets go
  for (const auto& row : rows) {
#ifdef _WIN32
    if (row.how >= kLocked) continue;  // see the release check for rights
#else
    if (row.how == kHeld || (row.how == kSticky && getuid() != 0)) continue;  // root's files
#endif
    const std::string at = row.at.empty() ? "" : row.at[0];
    SCOPED_TRACE(row.program + " " + std::to_string(row.how) + " " + at);
    for (const std::string& f : all) fs::permissions(At(f), fs::perms::all);
    for (const char* left : {"Saves/QVR.lock", "DATA/BITMAPS.LOD.QVRPt1", "SOUNDS.QVRPt1"})
      fs::remove_all(At(left));
    if (!fs::exists(At("SOUNDS.QVRPt2"))) fs::rename(tmp / "download", At("SOUNDS.QVRPt2"));
    if (row.aside) fs::rename(At("SOUNDS.QVRPt2"), tmp / "download");
    if (row.aside && fs::create_directory(At("SOUNDS.QVRPt1")))
      for (const char* f : {"SOUNDS.QVRPt1/Click.wav", "DATA/BITMAPS.LOD.QVRPt1"})
        if (row.aside == 1 || f[0] == 'S') sample::WriteFile(At(f), sample::Filled(6, 100));
    for (const std::string& f : row.at)
      if (row.how == kLocked) fs::permissions(At(f), write, fs::perm_options::remove);
    if (row.how == kSticky) fs::permissions(At(at), fs::perms::sticky_bit, fs::perm_options::add);
    if (row.how == kLockLink) UnixShell(saves, kLinkedLock);
    const fs::path held = fs::u8path(At(at));  // in any alphabet
    if (row.how == kHeld && !fs::exists(held))
      held.has_extension() ? (void)std::ofstream(held) : (void)fs::create_directories(held);
    Tree before = Snapshot(root);
    const std::string in = At(row.how == kWrongFolder ? "" : "Saves");
    const RunResult want = {row.said.empty() ? 0 : 1, row.said};
#ifdef _WIN32
    const bool inside = at.find("SOUNDS") == 0 && at.find('/') != std::string::npos;
    HANDLE game =
        row.how != kHeld
            ? nullptr
            : CreateFileW(held.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | (inside ? FILE_SHARE_DELETE : 0),
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    auto here = [&] { return row.program == i ? Install() : Restore(); };  // held: this process
    EXPECT_EQ(row.how == kHeld ? here() : RunProgram(row.program.c_str(), in), want);
    if (game) CloseHandle(game);
#else
    if (row.how == kSmall || row.how == kReadOnly) {
      const std::string mnt = (row.how == kSmall ? "mount -t tmpfs -o size=1m qvr '"
                                                 : "mount --bind -o ro '" + At(at) + "' '") +
                              At(at) + "'";
      int status = InChild([&] {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) || std::system(mnt.c_str()))
          return 2;
        return RunProgram(row.program.c_str(), in, "", true) == want ? 0 : 1;
      });
      if (status == 2) std::printf("no right to mount a file system here: not checked\n");
      EXPECT_NE(status, 1);
    } else {
      EXPECT_EQ(RunProgram(row.program.c_str(), in, "", row.how != kLockLink), want);
    }
#endif
    EXPECT_EQ(Snapshot(root), before);
    EXPECT_FALSE(fs::exists(At("QVR.lock")));
    if (row.how == kLockLink) UnixShell(saves, "rm QVR.lock");
  }
  for (const std::string& f : all) fs::permissions(At(f), fs::perms::all);
}

}  // namespace
