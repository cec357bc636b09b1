// Synthetic game installations: everything the two programs touch, generated
// from seeds, with no real game data. Used by the tests, the demo and the
// benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sample {

using Bytes = std::vector<unsigned char>;

// The second part's archives as the modification ships them, in decoding order.
struct Pt2Archive {
  const char* live;    // name under DATA
  const char* source;  // name under DATA.QVRPt2
  std::int32_t count;  // bytes the installer decodes
  unsigned char key;
};
extern const Pt2Archive kPt2[4];

inline constexpr std::int32_t kTemplateSize = 245077;
inline constexpr unsigned char kTemplateKey = 0x3C;
inline constexpr std::uint32_t kTemplateParty = 148402;  // where the party block goes
inline constexpr const char* kSaveFolder = "Saves";      // the save folder below the root

// Deterministic filler bytes: bytes [pos, pos + n) of the stream named by `seed`.
void Fill(std::uint64_t seed, std::uint64_t pos, unsigned char* out, std::size_t n);
Bytes Filled(std::uint64_t seed, std::size_t n);
void XorAll(Bytes& b, unsigned char key);

// Where the party block sits in a player's save.
struct SaveLayout {
  std::uint32_t size = 200000;
  std::uint32_t marker = 2048;   // position of the "part" word
  std::uint32_t offset = 20000;  // party block; the save holds offset - 288 after the marker
  unsigned char flag = 0xC5;     // byte 302 of the block; bit 7 says the first part is done
  std::uint64_t seed = 1;
};
Bytes PlayerSave(const SaveLayout& layout);

// The plain second-part starting save, before the party is carried over.
Bytes TemplatePlain();

// The plain content of second-part archive `i`: byte `pos` onward.
void Pt2Plain(int i, std::uint64_t pos, unsigned char* out, std::size_t n);
// The content of the first part's archive `i`, under the same name in DATA.
Bytes Pt1Archive(int i);

// Writes `count` bytes of second-part archive `i`, scrambled with `key`.
bool WriteScrambled(const std::string& path, int i, std::uint64_t count, unsigned char key);

bool WriteFile(const std::string& path, const Bytes& b);
Bytes ReadFile(const std::string& path);

struct Options {
  SaveLayout save;
  bool sources = true;  // write the scrambled archives (132 MB in all)
  // Write them as holes of their full size instead, all zero and quick to
  // make, for runs that only look at their sizes.
  bool hollow = false;
};
// Writes an installation below `root` (created if needed) and returns its save folder.
std::string WriteInstallation(const std::string& root, const Options& options);

}  // namespace sample
