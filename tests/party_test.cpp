#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "install.h"
#include "support.h"

namespace fs = std::filesystem;
using sample::Bytes;

namespace {

// Runs the marker scan over `save`, written to a temporary file.
bool Scan(const Bytes& save, std::uint32_t* Offset) {
  TempDir tmp;
  sample::WriteFile(tmp / "s", save);
  FILE* f = std::fopen((tmp / "s").c_str(), "rb");
  bool found = FindParty(f, Offset);
  std::fclose(f);
  return found;
}

void Put(Bytes& b, size_t at, const char* text) {
  std::memcpy(&b[at], text, 4);
}
void PutWord(Bytes& b, size_t at, std::uint32_t w) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<unsigned char>(w >> (8 * i));
}

TEST(MarkerScanTest, MarkerInFirstWordTakesWordAtSixteen) {
  Bytes s(64, 0);
  Put(s, 0, "part");
  PutWord(s, 16, 0x1000);
  std::uint32_t Offset = 0;
  ASSERT_TRUE(Scan(s, &Offset));
  EXPECT_EQ(Offset, 0x1000u + 288);
}

TEST(MarkerScanTest, OnlyWordAlignedMarkerCounts) {
  Bytes s(96, 0);
  Put(s, 2, "part");     // straddles two words: not a marker
  PutWord(s, 22, 0x50);  // where a scan of unaligned bytes would look
  Put(s, 40, "part");
  PutWord(s, 56, 0x2000);
  std::uint32_t Offset = 0;
  ASSERT_TRUE(Scan(s, &Offset));
  EXPECT_EQ(Offset, 0x2000u + 288);
}

TEST(MarkerScanTest, OffsetIsAThirtyTwoBitSum) {
  Bytes s(32, 0);
  Put(s, 0, "part");
  PutWord(s, 16, 0xFFFFFFFFu);
  std::uint32_t Offset = 0;
  ASSERT_TRUE(Scan(s, &Offset));
  EXPECT_EQ(Offset, 287u);
}

TEST(MarkerScanTest, FailsWhenSaveEndsFirst) {
  std::uint32_t Offset = 0;
  Bytes none = sample::Filled(3, 4000);
  for (size_t at = 0; at < none.size(); at += 4)
    if (std::memcmp(&none[at], "part", 4) == 0) none[at] = 0;
  EXPECT_FALSE(Scan(none, &Offset));
  EXPECT_FALSE(Scan(Bytes{}, &Offset));
  Bytes cut(20, 0);  // the fourth word after the marker would be bytes 16..19 of 24
  Put(cut, 4, "part");
  EXPECT_FALSE(Scan(cut, &Offset));
  cut.resize(24);
  EXPECT_TRUE(Scan(cut, &Offset));
}

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
  EXPECT_EQ(WriteParty((tmp / "save").c_str(), block.data()), nullptr);
  std::copy(block.begin(), block.end(), save.begin() + 148402);
  EXPECT_EQ(sample::ReadFile(tmp / "save"), save);
  EXPECT_STREQ(WriteParty((tmp / "missing").c_str(), block.data()),
               "Can't open save000.zsv file.\n");
  EXPECT_FALSE(fs::exists(tmp / "missing"));
}

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

#ifdef __linux__
TEST(WritePartyTest, FullDiskIsReportedAsCloseFailure) {
  Bytes block(kPartySize, 1);
  EXPECT_STREQ(WriteParty("/dev/full", block.data()), "Can't close save000.zsv file.\n");

  // A disk that fills only at the stream's last flush, under a file-size
  // limit in a child process.
  TempDir tmp;
  sample::WriteFile(tmp / "save", sample::Filled(5, 200000));
  auto write = [&] {
    const char* fail = WriteParty((tmp / "save").c_str(), block.data());
    return fail && std::strcmp(fail, "Can't close save000.zsv file.\n") == 0 ? 0 : 1;
  };
  EXPECT_EQ(InChild(write, 212000), 0);
}
#endif

}  // namespace
