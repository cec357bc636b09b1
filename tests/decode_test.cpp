#include "decode.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A copy of the first `count` bytes of `in`, each XOR the key, `passes`
// times (the output of one the source of the next), and what it ends with:
// `fail`, what it printed, and the destination, which is `want` when given.
// A stop keeps what was decoded, and a destination already there is never
// appended to or cut.
struct DecodeRow {
  const char* name;
  Bytes in;  // no source when empty
  std::int32_t count;
  unsigned char key;
  int passes;
  const char* fail;
  std::string printed;
  Bytes old = {}, want = {};  // a destination there before; the destination after
};
struct DecodeRowTest : DecodeCopyTest, ::testing::WithParamInterface<DecodeRow> {};

TEST_P(DecodeRowTest, LeavesWhatItDecodedAndSaysWhyItStopped) {
  const DecodeRow& r = GetParam();
  Bytes want = r.want;
  if (want.empty()) {
    want.assign(r.in.begin(), r.in.begin() + std::min<size_t>(r.in.size(), r.count));
    sample::XorAll(want, r.passes % 2 ? r.key : 0);
  }
  if (!r.old.empty()) sample::WriteFile(dst, r.old);
  if (!r.in.empty()) sample::WriteFile(src, r.in);
  for (int pass = 0; pass < r.passes; pass++) {
    if (pass > 0) fs::rename(dst, src);
    EXPECT_STREQ(Run(Use(r.count, r.key)), r.fail);
    EXPECT_EQ(printed, r.printed);
  }
  EXPECT_TRUE(fs::is_regular_file(dst));
  EXPECT_EQ(sample::ReadFile(dst), want);
  EXPECT_TRUE(r.passes > 1 || sample::ReadFile(src) == r.in);  // a source is only ever read
}

// The first crosses several blocks of the copy buffer and ends inside one.
const std::string kAnnounced = "\nDecoding test.\n";
const Bytes kNone, kKeyBytes = {0x29, 0, 0xFF}, kKeyDecoded = {0, 0x29, 0xD6};
INSTANTIATE_TEST_SUITE_P(
    DecodeCopyTest, DecodeRowTest,
    ::testing::Values(
        DecodeRow{"LongerSource", sample::Filled(7, 300001), 200003, 0xD1, 1, nullptr, kAnnounced},
        DecodeRow{"ItsOwnOutputGivesBackTheSource", sample::Filled(8, 70000), 65536, 0x6E, 2,
                  nullptr, kAnnounced},
        DecodeRow{"KeyByteBecomesZeroAndZeroBecomesKey", kKeyBytes, 3, 0x29, 1, nullptr, kAnnounced,
                  kNone, kKeyDecoded},
        DecodeRow{"MissingSourceLeavesEmptyDestinationAndOnlyItsMessage", kNone, 10, 1, 1,
                  "source open\n", ""},
        DecodeRow{"ExistingDestinationIsNeitherAppendedToNorCut", sample::Filled(10, 100), 100, 1,
                  1, "dest open\n", "", sample::Filled(9, 1000), sample::Filled(9, 1000)},
        DecodeRow{"ShortSourceStopsAndKeepsWhatWasDecoded", sample::Filled(11, 100000), 150000,
                  0x3C, 1, "source short\n", kAnnounced}),
    [](const ::testing::TestParamInfo<DecodeRow>& info) { return info.param.name; });

}  // namespace
