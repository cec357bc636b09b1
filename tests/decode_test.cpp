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

// The first `count` bytes of a source, each XOR the key, decoded `passes`
// times (the output of one the source of the next); `want`, when given, is
// what must come out.
struct DecodeRow {
  const char* name;
  Bytes in;
  std::int32_t count;
  unsigned char key;
  int passes;
  Bytes want;
};
struct DecodeRowTest : DecodeCopyTest, ::testing::WithParamInterface<DecodeRow> {};

TEST_P(DecodeRowTest, WritesExactlyCountBytesEachXorKey) {
  const DecodeRow& r = GetParam();
  Bytes want = r.want;
  if (want.empty()) {
    want.assign(r.in.begin(), r.in.begin() + r.count);
    sample::XorAll(want, r.passes % 2 ? r.key : 0);
  }
  sample::WriteFile(src, r.in);
  for (int pass = 0; pass < r.passes; pass++) {
    if (pass > 0) fs::rename(dst, src);
    EXPECT_EQ(Run(Use(r.count, r.key)), nullptr);
    EXPECT_EQ(printed, "\nDecoding test.\n");
  }
  EXPECT_EQ(sample::ReadFile(dst), want);
  EXPECT_TRUE(r.passes > 1 || sample::ReadFile(src) == r.in);  // a source is only ever read
}

// The first crosses several blocks of the copy buffer and ends inside one.
INSTANTIATE_TEST_SUITE_P(
    DecodeCopyTest, DecodeRowTest,
    ::testing::Values(
        DecodeRow{"LongerSource", sample::Filled(7, 300001), 200003, 0xD1, 1, {}},
        DecodeRow{"ItsOwnOutputGivesBackTheSource", sample::Filled(8, 70000), 65536, 0x6E, 2, {}},
        DecodeRow{
            "KeyByteBecomesZeroAndZeroBecomesKey", {0x29, 0, 0xFF}, 3, 0x29, 1, {0, 0x29, 0xD6}}),
    [](const ::testing::TestParamInfo<DecodeRow>& info) { return info.param.name; });

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
