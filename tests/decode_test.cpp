#include "decode.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "support.h"

namespace fs = std::filesystem;
using sample::Bytes;

namespace {

struct DecodeCopyTest : ::testing::Test {
  TempDir tmp;
  std::string src = tmp / "src", dst = tmp / "dst", con = tmp / "printed.txt";

  DecodeUse Use(std::int32_t count, unsigned char key) {
    return {dst.c_str(),      "dest open\n",        src.c_str(), "source open\n",
            "source short\n", "\nDecoding test.\n", count,       key};
  }
  // Runs the copy with its console captured in `printed`.
  const char* Run(const DecodeUse& use) {
    FILE* f = std::fopen(con.c_str(), "wb");
    const char* fail = DecodeCopy(use, f);
    std::fclose(f);
    Bytes b = sample::ReadFile(con);
    printed.assign(b.begin(), b.end());
    return fail;
  }
  std::string printed;
};

TEST_F(DecodeCopyTest, WritesExactlyCountBytesOfLongerSourceEachXorKey) {
  // Crosses several blocks of the copy buffer and ends inside one.
  Bytes in = sample::Filled(7, 300001);
  sample::WriteFile(src, in);
  EXPECT_EQ(Run(Use(200003, 0xD1)), nullptr);
  EXPECT_EQ(printed, "\nDecoding test.\n");
  Bytes want(in.begin(), in.begin() + 200003);
  sample::XorAll(want, 0xD1);
  EXPECT_EQ(sample::ReadFile(dst), want);
  EXPECT_EQ(sample::ReadFile(src), in);
}

#ifndef _WIN32
// A download on a read-only medium, copied by a player who may not write it
// (root may write anything, so there the copy runs as nobody).
TEST_F(DecodeCopyTest, ReadOnlySourceIsDecoded) {
  sample::WriteFile(src, sample::Filled(7, 1000));
  fs::permissions(src, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(tmp.path, fs::perms::all);
  auto asPlayer = [&] {
    return (getuid() != 0 || setuid(65534) == 0) && !Run(Use(1000, 1)) ? 0 : 1;
  };
  EXPECT_EQ(InChild(asPlayer), 0);
  EXPECT_EQ(sample::ReadFile(dst).size(), 1000u);
}
#endif

TEST_F(DecodeCopyTest, DecodingItsOwnOutputGivesBackTheSource) {
  Bytes in = sample::Filled(8, 70000);
  sample::WriteFile(src, in);
  ASSERT_EQ(Run(Use(65536, 0x6E)), nullptr);
  std::string again = tmp / "again";
  DecodeUse back = Use(65536, 0x6E);
  back.source = dst.c_str();
  back.dest = again.c_str();
  ASSERT_EQ(Run(back), nullptr);
  EXPECT_EQ(sample::ReadFile(again), Bytes(in.begin(), in.begin() + 65536));
}

TEST_F(DecodeCopyTest, KeyByteBecomesZeroAndZeroBecomesKey) {
  sample::WriteFile(src, Bytes{0x29, 0x00, 0xFF});
  ASSERT_EQ(Run(Use(3, 0x29)), nullptr);
  EXPECT_EQ(sample::ReadFile(dst), (Bytes{0x00, 0x29, 0xD6}));
}

TEST_F(DecodeCopyTest, MissingSourceLeavesEmptyDestinationAndOnlyItsMessage) {
  EXPECT_STREQ(Run(Use(10, 1)), "source open\n");
  EXPECT_EQ(printed, "");
  EXPECT_TRUE(fs::is_regular_file(dst));
  EXPECT_TRUE(sample::ReadFile(dst).empty());
}

TEST_F(DecodeCopyTest, ExistingDestinationIsNeitherAppendedToNorCut) {
  Bytes keep = sample::Filled(9, 1000);
  sample::WriteFile(dst, keep);
  sample::WriteFile(src, sample::Filled(10, 100));
  EXPECT_STREQ(Run(Use(100, 1)), "dest open\n");
  EXPECT_EQ(printed, "");
  EXPECT_EQ(sample::ReadFile(dst), keep);
}

TEST_F(DecodeCopyTest, ShortSourceStopsAndKeepsWhatWasDecoded) {
  Bytes in = sample::Filled(11, 100000);
  sample::WriteFile(src, in);
  EXPECT_STREQ(Run(Use(150000, 0x3C)), "source short\n");
  EXPECT_EQ(printed, "\nDecoding test.\n");
  sample::XorAll(in, 0x3C);
  EXPECT_EQ(sample::ReadFile(dst), in);
}

}  // namespace
