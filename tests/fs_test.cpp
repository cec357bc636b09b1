#include "fs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "console.h"
#include "support.h"

namespace fs = std::filesystem;
using sample::Bytes;

// Move and its fallback keep the same rule, so both face the same cases.
using MoveFn = bool (*)(const char*, const char*);
class MoveTest : public ::testing::TestWithParam<MoveFn> {
 protected:
  bool Mv(const std::string& from, const std::string& to) {
    return GetParam()(from.c_str(), to.c_str());
  }
  TempDir tmp;
  Bytes a = sample::Filled(1, 100), b = sample::Filled(2, 50);
};

TEST_P(MoveTest, MovesFileToFreshNameAndBack) {
  sample::WriteFile(tmp / "a", a);
  EXPECT_TRUE(Mv(tmp / "a", tmp / "b"));
  EXPECT_FALSE(fs::exists(tmp / "a"));
  EXPECT_EQ(sample::ReadFile(tmp / "b"), a);
  EXPECT_TRUE(Mv(tmp / "b", tmp / "a"));
  EXPECT_EQ(sample::ReadFile(tmp / "a"), a);
}

TEST_P(MoveTest, MovesFolderWithItsFiles) {
  fs::create_directories(tmp / "d/sub");
  sample::WriteFile(tmp / "d/sub/x", a);
  EXPECT_TRUE(Mv(tmp / "d", tmp / "e"));
  EXPECT_FALSE(fs::exists(tmp / "d"));
  EXPECT_EQ(sample::ReadFile(tmp / "e/sub/x"), a);
}

TEST_P(MoveTest, NeverReplacesFileFolderOrEmptyFolder) {
  sample::WriteFile(tmp / "src", a);
  fs::create_directory(tmp / "srcdir");
  sample::WriteFile(tmp / "file", b);
  fs::create_directories(tmp / "full/inner");
  fs::create_directory(tmp / "empty");
  for (const char* from : {"src", "srcdir"}) {
    for (const char* to : {"file", "full", "empty"}) {
      SCOPED_TRACE(std::string(from) + " -> " + to);
      EXPECT_FALSE(Mv(tmp / from, tmp / to));
      EXPECT_TRUE(fs::exists(tmp / from));
    }
  }
  EXPECT_EQ(sample::ReadFile(tmp / "src"), a);
  EXPECT_EQ(sample::ReadFile(tmp / "file"), b);
  EXPECT_TRUE(fs::is_directory(tmp / "full/inner"));
  EXPECT_TRUE(fs::is_empty(tmp / "empty"));
}

TEST_P(MoveTest, MissingSourceDoesNothing) {
  EXPECT_FALSE(Mv(tmp / "none", tmp / "other"));
  EXPECT_FALSE(fs::exists(tmp / "other"));
}

INSTANTIATE_TEST_SUITE_P(EachMove, MoveTest, ::testing::Values(&Move, &MoveByCheck),
                         [](const ::testing::TestParamInfo<MoveFn>& info) {
                           return info.param == &Move ? "Move" : "MoveByCheck";
                         });

TEST(DeleteTest, RemovesFilesButNeverFolders) {
  TempDir tmp;
  sample::WriteFile(tmp / "f", sample::Filled(3, 10));
  fs::create_directory(tmp / "empty");
  EXPECT_TRUE(Delete((tmp / "f").c_str()));
  EXPECT_FALSE(fs::exists(tmp / "f"));
  EXPECT_FALSE(Delete((tmp / "empty").c_str()));
  EXPECT_TRUE(fs::is_directory(tmp / "empty"));
  EXPECT_FALSE(Delete((tmp / "missing").c_str()));
}

TEST(CreateNewTest, CreatesOnlyWhereNothingExists) {
  TempDir tmp;
  Bytes old = sample::Filled(4, 20);
  sample::WriteFile(tmp / "old", old);
  fs::create_directory(tmp / "dir");
  EXPECT_EQ(CreateNew((tmp / "old").c_str()), nullptr);
  EXPECT_EQ(CreateNew((tmp / "dir").c_str()), nullptr);
  EXPECT_EQ(sample::ReadFile(tmp / "old"), old);

  FILE* f = CreateNew((tmp / "new").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_GE(std::fputs("x\n", f), 0);
  std::fclose(f);
  EXPECT_EQ(sample::ReadFile(tmp / "new"), (Bytes{'x', '\n'}));  // binary: no "\r\n"
}

TEST(SeekTest, ReachesPositionsPast2And4GiB) {
  TempDir tmp;
  const std::uint64_t far[] = {(1ull << 31) + 5, (1ull << 32) + 7};
  FILE* f = CreateNew((tmp / "sparse").c_str());
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(Seek(f, far[i]));
    std::fputc(0x41 + i, f);
  }
  std::fclose(f);
  EXPECT_EQ(fs::file_size(tmp / "sparse"), far[1] + 1);
  f = std::fopen((tmp / "sparse").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < 2; i++) {
    ASSERT_TRUE(Seek(f, far[i]));
    EXPECT_EQ(std::fgetc(f), 0x41 + i);
  }
  ASSERT_TRUE(Seek(f, far[1] + 100));
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
  EXPECT_EQ(here.volume, sub.volume);
  EXPECT_FALSE(FreeSpace((tmp / "missing").c_str()).known);
}

// Only a window that a double-click opened closes with the program; there a
// failure message waits for Enter, and nowhere else.
TEST(HoldWindowTest, OnlyAProgramAloneInItsConsoleWaits) {
  struct {
    unsigned processes;
    bool in, out, hold;
  } rows[] = {
      {1, true, true, true},     // double-clicked in Explorer
      {2, true, true, false},    // started from a terminal, which shares the console
      {1, false, true, false},   // input from a file or pipe
      {1, true, false, false},   // output to a file or pipe
      {0, false, false, false},  // no console at all
  };
  for (const auto& r : rows)
    EXPECT_EQ(MustHoldWindow(r.processes, r.in, r.out), r.hold)
        << r.processes << " " << r.in << " " << r.out;
}

TEST(HoldWindowTest, WaitsForOneLineOrTheEnd) {
  TempDir tmp;
  std::string keys = tmp / "keys", printed = tmp / "printed";  // "con" is a device on Windows
  for (const char* typed : {"any text\nnext line\n", ""}) {
    sample::WriteFile(keys, Bytes(typed, typed + std::strlen(typed)));
    FILE* k = std::fopen(keys.c_str(), "rb");
    FILE* c = std::fopen(printed.c_str(), "wb");
    ASSERT_TRUE(k && c);
    HoldWindow(c, k);
    std::string left;
    for (int ch; (ch = std::fgetc(k)) != EOF;) left += static_cast<char>(ch);
    std::fclose(k);
    std::fclose(c);
    EXPECT_EQ(left, *typed ? "next line\n" : "");
    Bytes shown = sample::ReadFile(printed);
    EXPECT_EQ(std::string(shown.begin(), shown.end()), "Press Enter to close this window.\n");
  }
}
