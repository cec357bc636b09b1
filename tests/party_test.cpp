#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "install.h"
#include "support.h"

namespace fs = std::filesystem;
using sample::Bytes;

namespace {

// A save of random bytes with "part" at `parts` and the words `words` put in,
// and what the marker scan must find in it.
struct ScanRow {
  const char* name;
  size_t size;
  std::vector<size_t> parts;
  std::vector<std::pair<size_t, std::uint32_t>> words;
  bool found;
  std::uint32_t Offset;
};
struct MarkerScanTest : ::testing::TestWithParam<ScanRow> {};

TEST_P(MarkerScanTest, FindsThePartyBlockFromTheFourthWordAfterTheMarker) {
  const ScanRow& r = GetParam();
  Bytes save = sample::Filled(3, r.size);
  for (size_t at = 0; at + 4 <= save.size(); at += 4)
    if (std::memcmp(&save[at], "part", 4) == 0) save[at] = 0;
  for (size_t at : r.parts) std::memcpy(&save[at], "part", 4);
  for (auto [at, w] : r.words)
    for (int i = 0; i < 4; i++) save[at + i] = static_cast<unsigned char>(w >> (8 * i));
  TempDir tmp;
  sample::WriteFile(tmp / "save", save);
  FILE* f = std::fopen((tmp / "save").c_str(), "rb");
  std::uint32_t Offset = 0;
  EXPECT_EQ(FindParty(f, &Offset), r.found);
  std::fclose(f);
  EXPECT_EQ(Offset, r.Offset);  // untouched when not found
}

INSTANTIATE_TEST_SUITE_P(
    Each, MarkerScanTest,
    ::testing::Values(
        ScanRow{"MarkerInFirstWordTakesWordAtSixteen", 64, {0}, {{16, 0x1000}}, true, 0x1120},
        ScanRow{"MarkerAtStartOfAWholeSave", 200000, {0}, {{16, 0x1234 - 288}}, true, 0x1234},
        // "part" straddling two words is no marker; a scan of unaligned bytes
        // would take the word at 22.
        ScanRow{
            "OnlyWordAlignedMarkerCounts", 96, {2, 40}, {{22, 0x50}, {56, 0x2000}}, true, 0x2120},
        ScanRow{"OffsetIsAThirtyTwoBitSum", 32, {0}, {{16, 0xFFFFFFFF}}, true, 287},
        ScanRow{"FailsWithoutMarker", 4000, {}, {}, false, 0},
        ScanRow{"FailsOnEmptySave", 0, {}, {}, false, 0},
        ScanRow{"FailsWhenFourthWordIsCutOff", 20, {4}, {}, false, 0},
        ScanRow{"FindsFourthWordEndingTheSave", 24, {4}, {{20, 0}}, true, 288}),
    [](const ::testing::TestParamInfo<ScanRow>& info) { return info.param.name; });

TEST(ResetPartyTest, ClearsProgressAndSetsTheTwoFixedBytes) {
  Bytes block(kPartySize, 0xEE), want = block;
  ResetParty(block.data());
  ApplyPartyReset(want.data());
  for (size_t i = 0; i < block.size(); i++) ASSERT_EQ(block[i], want[i]) << "byte " << i;
  EXPECT_EQ(block[kFlagByte] & 0x80, 0);  // the new save does not pass as completed
}

TEST(WritePartyTest, PutsBlockAtItsPlaceAndKeepsTheRest) {
  TempDir tmp;
  Bytes save = sample::Filled(5, 245077), block = sample::Filled(6, kPartySize);
  sample::WriteFile(tmp / "save", save);
  EXPECT_EQ(WriteParty(std::fopen((tmp / "save").c_str(), "r+b"), block.data()), nullptr);
  std::copy(block.begin(), block.end(), save.begin() + 148402);
  EXPECT_EQ(sample::ReadFile(tmp / "save"), save);
}

#ifdef __linux__
TEST(WritePartyTest, FullDiskIsReportedAsCloseFailure) {
  Bytes block(kPartySize, 1);
  EXPECT_STREQ(WriteParty(std::fopen("/dev/full", "r+b"), block.data()),
               "Can't close save000.zsv file.\n");
  // A disk that fills only at the stream's last flush, under a file-size
  // limit in a child process.
  TempDir tmp;
  sample::WriteFile(tmp / "save", sample::Filled(5, 200000));
  auto write = [&] {
    const char* fail = WriteParty(std::fopen((tmp / "save").c_str(), "r+b"), block.data());
    return fail && std::strcmp(fail, "Can't close save000.zsv file.\n") == 0 ? 0 : 1;
  };
  EXPECT_EQ(InChild(write, 212000), 0);
}
#endif

}  // namespace
