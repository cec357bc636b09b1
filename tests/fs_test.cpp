#include "fs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "support.h"
#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using sample::Bytes;

// Move and its fallback keep the same rule, so both face the same cases: a
// file or a folder with files moves to a free name and back, and never onto
// anything; a missing source moves nowhere.
enum Made { kNothing, kAFile, kAFolder, kOtherFile, kFullFolder, kEmptyFolder };
void Make(Made kind, const std::string& path) {
  if (kind == kAFile || kind == kOtherFile) sample::WriteFile(path, sample::Filled(kind, 100));
  if (kind == kAFolder || kind == kFullFolder) fs::create_directories(path + "/sub");
  if (kind == kAFolder) sample::WriteFile(path + "/sub/x", sample::Filled(3, 50));
  if (kind == kEmptyFolder) fs::create_directory(path);
}
struct MoveRow {
  const char* name;
  Made from, to;
  Fault fault;
};
Patience gPatience;  // the programs' own
// Move, and on POSIX its fallback, also on a volume without hard links: 8 MB
// of exFAT, mounted through FUSE for one test (Linux, as root, with mkfs.exfat
// and exfat-fuse).
struct Mover {
  const char* name;
  Fault (*move)(const char* from, const char* to, Patience& p);
  bool exfat;
};
#ifdef __linux__
Fault ByCheck(const char* from, const char* to, Patience&) {
  return MoveByCheck(from, to);
}
const Mover kMoves[] = {{"_Move", &Move, false},
                        {"_MoveByCheck", &ByCheck, false},
                        {"_MoveByCheckOnExFat", &ByCheck, true}};
#else
const Mover kMoves[] = {{"_Move", &Move, false}};
#endif
struct MoveTest : ::testing::TestWithParam<std::tuple<Mover, MoveRow>> {};

TEST_P(MoveTest, MovesOnlyToAFreeName) {
  const auto [name, mv, exfat] = std::get<0>(GetParam());
  const MoveRow& r = std::get<1>(GetParam());
  TempDir tmp;
  const std::string dir = exfat ? tmp / "exfat" : tmp.path, from = dir + "/from", to = dir + "/to";
  const std::string mount = "(truncate -s 8M " + dir + ".img && mkfs.exfat " + dir +
                            ".img && mkdir " + dir + " && mount -o loop -t exfat-fuse " + dir +
                            ".img " + dir + ") >/dev/null 2>&1";
  if (exfat && std::system(mount.c_str()) != 0)
    GTEST_SKIP() << "no exFAT volume: needs root, a loop device, mkfs.exfat and exfat-fuse";
  Make(r.from, from);
  Make(r.to, to);
  Tree before = Snapshot(dir), want = before;
  if (r.fault == kOk) RenameIn(want, "from", "to");
  EXPECT_EQ(mv(from.c_str(), to.c_str(), gPatience), r.fault);
  EXPECT_EQ(Snapshot(dir), want);
  if (r.fault == kOk) {
    EXPECT_EQ(mv(to.c_str(), from.c_str(), gPatience), kOk);
    EXPECT_EQ(Snapshot(dir), before);
  }
  if (exfat && std::system(("umount " + dir).c_str()) != 0) ADD_FAILURE() << "still mounted";
}

INSTANTIATE_TEST_SUITE_P(
    Each, MoveTest,
    ::testing::Combine(
        ::testing::ValuesIn(kMoves),
        ::testing::Values(MoveRow{"FileToFreshNameAndBack", kAFile, kNothing, kOk},
                          MoveRow{"FolderWithItsFiles", kAFolder, kNothing, kOk},
                          MoveRow{"FileNeverOntoFile", kAFile, kOtherFile, kTaken},
                          MoveRow{"FileNeverOntoFolder", kAFile, kFullFolder, kTaken},
                          MoveRow{"FileNeverOntoEmptyFolder", kAFile, kEmptyFolder, kTaken},
                          MoveRow{"FolderNeverOntoFile", kAFolder, kOtherFile, kTaken},
                          MoveRow{"FolderNeverOntoFolder", kAFolder, kFullFolder, kTaken},
                          MoveRow{"FolderNeverOntoEmptyFolder", kAFolder, kEmptyFolder, kTaken},
                          MoveRow{"MissingSourceDoesNothing", kNothing, kNothing, kGone})),
    [](const ::testing::TestParamInfo<std::tuple<Mover, MoveRow>>& info) {
      return std::string(std::get<1>(info.param).name) + std::get<0>(info.param).name;
    });

// Only what the system shows counts: a name that cannot be looked at, such
// as one below a file, is absent; a link is a link, not what it leads to.
TEST(WhatTest, OnlyWhatTheSystemShows) {
  TempDir tmp;
  Make(kAFile, tmp / "file");
  Make(kEmptyFolder, tmp / "folder");
  UnixShell(tmp.path, "ln -s folder link");
  EXPECT_EQ(What((tmp / "file").c_str()).kind, kFile);
  EXPECT_EQ(What((tmp / "folder").c_str()).kind, kFolder);
  EXPECT_EQ(What((tmp / "link").c_str()).kind, kLink);
  EXPECT_EQ(What((tmp / "missing").c_str()).kind, kNone);
  EXPECT_EQ(What((tmp / "file/below").c_str()).kind, kNone);
  UnixShell(tmp.path, "rm link");
}

TEST(DeleteTest, RemovesFilesButNeverFolders) {
  TempDir tmp;
  Make(kAFile, tmp / "f");
  Make(kEmptyFolder, tmp / "empty");
  EXPECT_EQ(Delete((tmp / "f").c_str(), gPatience), kOk);
  EXPECT_FALSE(fs::exists(tmp / "f"));
  EXPECT_EQ(Delete((tmp / "empty").c_str(), gPatience), kFailed);
  EXPECT_TRUE(fs::is_directory(tmp / "empty"));
  EXPECT_EQ(Delete((tmp / "missing").c_str(), gPatience), kGone);
}

TEST(CreateNewTest, CreatesOnlyWhereNothingExists) {
  TempDir tmp;
  Make(kAFile, tmp / "old");
  Make(kEmptyFolder, tmp / "dir");
  EXPECT_EQ(CreateNew((tmp / "old").c_str()), nullptr);
  EXPECT_EQ(CreateNew((tmp / "dir").c_str()), nullptr);
  EXPECT_EQ(sample::ReadFile(tmp / "old"), sample::Filled(kAFile, 100));

  FILE* f = CreateNew((tmp / "new").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_GE(std::fputs("x\n", f), 0);
  std::fclose(f);
  EXPECT_EQ(sample::ReadFile(tmp / "new"), (Bytes{'x', '\n'}));  // binary: no "\r\n"
}

TEST(SeekTest, ReachesPositionsPast2And4GiB) {
  TempDir tmp;
  const std::uint64_t past[] = {(1ull << 31) + 5, (1ull << 32) + 7};
  FILE* f = CreateNew((tmp / "sparse").c_str());
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(Seek(f, past[i]));
    std::fputc(0x41 + i, f);
  }
  std::fclose(f);
  EXPECT_EQ(fs::file_size(tmp / "sparse"), past[1] + 1);
  f = std::fopen((tmp / "sparse").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(Seek(f, past[i]));
    EXPECT_EQ(std::fgetc(f), 0x41 + i);
  }
  ASSERT_TRUE(Seek(f, past[1] + 100));
  EXPECT_EQ(std::fgetc(f), EOF);
  std::fclose(f);
}

TEST(FreeSpaceTest, ReadsTheVolumeOfAFolder) {
  TempDir tmp;
  fs::create_directory(tmp / "sub");
  Room here = FreeSpace(tmp.path.c_str()), sub = FreeSpace((tmp / "sub").c_str());
  fs::space_info space = fs::space(tmp.path);
  ASSERT_TRUE(here.known && sub.known);
  EXPECT_EQ(here.total, space.capacity);
  // Other tests write beside this one: free space moves, but not by gigabytes.
  EXPECT_LT(std::max(here.free, space.available) - std::min(here.free, space.available), 1u << 30);
  EXPECT_GE(here.unit, 512u);
  // A file of 64 KiB and a byte takes whole units, as the system counts its room.
  const std::string f = tmp / "f";
  sample::WriteFile(f, sample::Filled(1, 65537));
#ifdef _WIN32
  FILE_STANDARD_INFO info = {};
  HANDLE h = CreateFileA(f.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  GetFileInformationByHandleEx(h, FileStandardInfo, &info, sizeof info);
  CloseHandle(h);
  const std::uint64_t room = info.AllocationSize.QuadPart;
#else
  struct stat st = {};
  const std::uint64_t room = stat(f.c_str(), &st) == 0 ? st.st_blocks * 512ull : 0;
#endif
  EXPECT_EQ(room, (65537 + here.unit - 1) / here.unit * here.unit);
  EXPECT_EQ(here.volume, sub.volume);
  EXPECT_FALSE(FreeSpace((tmp / "missing").c_str()).known);
}

// A clock the test controls: each pause moves it on and is noted, and may
// do what a holder would do meanwhile.
struct TestClock {
  std::uint64_t now = 0;
  std::vector<unsigned> pauses;
  std::function<void()> meanwhile = [] {};
  Patience Of(FILE* say) {  // with the programs' own limit
    auto now = [](void* c) { return static_cast<TestClock*>(c)->now; };
    auto sleep = [](void* c, unsigned ms) {
      auto* t = static_cast<TestClock*>(c);
      t->now += ms, t->pauses.push_back(ms), t->meanwhile();
    };
    Patience p;
    p.say = say, p.clock = {now, sleep, this};
    return p;
  }
};

// Pauses from 4 ms doubling to half a second, up to the limit, 10 s unless
// shortened; a second in, one line for the whole run, however many holds.
TEST(WaitTest, PausesGrowToHalfASecondUntilTheLimitAndTheRunSaysItOnce) {
  TempDir tmp;
  const std::string line = "Waiting for another program to let go of ICONS.LOD.\n";
  const struct {
    std::uint64_t limit;
    unsigned longest;  // pause: half a second, or what is left
    std::string said;
  } rows[] = {{10000, 500, line}, {999, 999 - 508, ""}};
  for (const auto& r : rows) {
    FILE* said = std::fopen((tmp / "said").c_str(), "w+b");
    TestClock clock;
    Patience p = clock.Of(said);
    if (r.limit < 10000) p.limit = r.limit;
    for (int hold = 0; hold < 2; hold++)
      for (Wait w; WaitMore(p, w, "../DATA/ICONS.LOD");) {
      }
    std::fclose(said);
    EXPECT_EQ(clock.now, 2 * r.limit);
    EXPECT_EQ(std::vector<unsigned>(clock.pauses.begin(), clock.pauses.begin() + 7),
              (std::vector<unsigned>{4, 8, 16, 32, 64, 128, 256}));
    EXPECT_EQ(*std::max_element(clock.pauses.begin(), clock.pauses.end()), r.longest);
    EXPECT_EQ(sample::ReadFile(tmp / "said"), Bytes(r.said.begin(), r.said.end()));
  }
}

#ifdef _WIN32
// Only a hold is waited out: a rename onto a taken name and the delete of a
// read-only file are refused at once, though Windows calls both "access
// denied"; the delete of a held file is waited for.
TEST(WaitTest, OnlyAHoldIsWaitedOut) {
  TempDir tmp;
  TestClock clock;
  Patience p = clock.Of(nullptr);
  Make(kAFile, tmp / "held");
  Make(kOtherFile, tmp / "taken");
  HANDLE holder =
      CreateFileA((tmp / "held").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(Move((tmp / "held").c_str(), (tmp / "taken").c_str(), p), kTaken);
  fs::permissions(tmp / "taken", fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(Delete((tmp / "taken").c_str(), p), kDenied);
  EXPECT_TRUE(clock.pauses.empty());
  clock.meanwhile = [&] { CloseHandle(holder); };
  EXPECT_EQ(Delete((tmp / "held").c_str(), p), kOk);
  EXPECT_EQ(clock.pauses.size(), 1u);
  fs::permissions(tmp / "taken", fs::perms::owner_write, fs::perm_options::add);
}

// The in-use walk finds a hold past 260 characters but checks a symbolic link
// as itself: where it leads, back up the tree too, is no part of the folder.
TEST(InUseTest, WalksTheWholeFolderButNoLink) {
  TempDir tmp;
  const fs::path sounds = fs::path(tmp / "SOUNDS"), elsewhere = fs::path(tmp / "elsewhere"),
                 deep = sounds / std::string(200, 'v') / std::string(100, 'w');
  for (const fs::path& folder : {deep, elsewhere}) fs::create_directories(folder);
  sample::WriteFile((elsewhere / "x").string(), {1});
  UnixShell(sounds.string(), "ln -s ../elsewhere link && ln -s . loop");
  Patience p{0};
  for (const fs::path& held : {deep, elsewhere, elsewhere / "x"}) {
    HANDLE h = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    EXPECT_EQ(InUse(sounds.string().c_str(), p), held == deep);
    CloseHandle(h);
  }
  UnixShell(sounds.string(), "rm -r link loop v*");  // too long for Windows' names
}
#endif

// A folder is flushed; a file system that cannot sync one (procfs answers
// EINVAL, which Wine passes on) is passed over; a folder not there is a failure.
TEST(SyncFolderTest, PassesOverAFileSystemWithoutFolderSyncs) {
  TempDir tmp;
  EXPECT_TRUE(SyncFolder(tmp.path.c_str()));
#ifdef _WIN32
  EXPECT_TRUE(SyncFolder("Z:/proc/self"));  // under Wine, Z: is the Unix root
#else
  EXPECT_TRUE(SyncFolder("/proc/self"));
#endif
  EXPECT_FALSE(SyncFolder("/no/such/folder"));
}
