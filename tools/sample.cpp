#include "sample.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace sample {

const Pt2Archive kPt2[4] = {
    {"SPRITES.LOD", "SPRITES.LOD.QVRPt2", 49368253, 0xD1},
    {"Games.lod", "Games.lod.QVRPt2", 6821557, 0x6E},
    {"BITMAPS.LOD", "BITMAPS.LOD.QVRPt2", 47012483, 0x29},
    {"ICONS.LOD", "ICONS.LOD.QVRPt2", 29266966, 0x3C},
};

static std::uint64_t Mix(std::uint64_t x) {  // splitmix64's finaliser
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

void Fill(std::uint64_t seed, std::uint64_t pos, unsigned char* out, std::size_t n) {
  std::uint64_t key = Mix(seed);
  for (std::size_t i = 0; i < n;) {
    std::uint64_t word = Mix(key ^ ((pos + i) / 8));
    for (std::size_t b = (pos + i) % 8; b < 8 && i < n; b++, i++)
      out[i] = static_cast<unsigned char>(word >> (8 * b));
  }
}

Bytes Filled(std::uint64_t seed, std::size_t n) {
  Bytes b(n);
  Fill(seed, 0, b.data(), n);
  return b;
}

void XorAll(Bytes& b, unsigned char key) {
  for (unsigned char& c : b) c ^= key;
}

static void PutWord(Bytes& b, std::size_t at, std::uint32_t w) {
  for (int i = 0; i < 4; i++) b[at + i] = static_cast<unsigned char>(w >> (8 * i));
}

// Puts the "part" marker at `marker`, pointing at a party block at `offset`.
static void PlaceMarker(Bytes& b, std::uint32_t marker, std::uint32_t offset) {
  // Random filler could hold the marker by chance before the real one.
  for (std::size_t at = 0; at + 4 <= b.size() && at < marker; at += 4)
    if (std::memcmp(&b[at], "part", 4) == 0) b[at] ^= 1;
  // Near the end the marker may stand without the word that places the block.
  if (std::size_t{marker} + 4 <= b.size()) std::memcpy(&b[marker], "part", 4);
  if (std::size_t{marker} + 20 <= b.size()) PutWord(b, marker + 16, offset - 288);
}

Bytes PlayerSave(const SaveLayout& l) {
  Bytes b = Filled(0x5A5E0000 + l.seed, l.size);
  PlaceMarker(b, l.marker, l.offset);
  if (std::size_t{l.offset} + 302 < b.size()) b[l.offset + 302] = l.flag;
  return b;
}

// Like the game's own saves, the template's marker leads to its party block,
// so a second part's save read by the installer shows its cleared flag.
Bytes TemplatePlain() {
  Bytes b = Filled(0x7E3A, kTemplateSize);
  PlaceMarker(b, 1024, kTemplateParty);
  return b;
}

void Pt2Plain(int i, std::uint64_t pos, unsigned char* out, std::size_t n) {
  Fill(0xA2C0 + i, pos, out, n);
}

Bytes Pt1Archive(int i) {
  return Filled(0xA1C0 + i, 3000 + 1000 * i);
}

bool WriteScrambled(const std::string& path, int i, std::uint64_t count, unsigned char key) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  static unsigned char buf[1 << 20];
  bool ok = true;
  for (std::uint64_t pos = 0; pos < count && ok;) {
    std::size_t n = count - pos < sizeof buf ? static_cast<std::size_t>(count - pos) : sizeof buf;
    Pt2Plain(i, pos, buf, n);
    for (std::size_t k = 0; k < n; k++) buf[k] ^= key;
    ok = std::fwrite(buf, 1, n, f) == n;
    pos += n;
  }
  return std::fclose(f) == 0 && ok;
}

bool WriteFile(const std::string& path, const Bytes& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = b.empty() || std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

Bytes ReadFile(const std::string& path) {
  Bytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return b;
  unsigned char buf[1 << 16];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) b.insert(b.end(), buf, buf + n);
  std::fclose(f);
  return b;
}

std::string WriteInstallation(const std::string& root, const Options& o) {
  fs::path r(root);
  std::error_code ec;
  for (const char* dir : {kSaveFolder, "DATA", "DATA.QVRPt2", "SOUNDS", "SOUNDS.QVRPt2"})
    if (!fs::create_directories(r / dir, ec) && ec) return std::string();
  fs::path saves = r / kSaveFolder;
  bool ok = WriteFile((saves / "save000.zsv").string(), PlayerSave(o.save));
  Bytes crackerFile = TemplatePlain();
  XorAll(crackerFile, kTemplateKey);
  ok = ok && WriteFile((saves / "CrackerFile").string(), crackerFile);
  for (int i = 0; i < 4; i++) {
    ok = ok && WriteFile((r / "DATA" / kPt2[i].live).string(), Pt1Archive(i));
    if (!o.sources) continue;
    fs::path source = r / "DATA.QVRPt2" / kPt2[i].source;
    if (o.hollow) {
      ok = ok && WriteFile(source.string(), {});
      fs::resize_file(source, static_cast<std::uintmax_t>(kPt2[i].count), ec);
      ok = ok && !ec;
    } else {
      ok = ok && WriteScrambled(source.string(), i, kPt2[i].count, kPt2[i].key);
    }
  }
  const char* pt1Sounds[] = {"Audio.snd", "Click.wav", "Theme.mp3"};
  const char* pt2Sounds[] = {"Audio.snd", "Battle.wav", "Theme2.mp3"};
  for (int i = 0; i < 3; i++) {
    ok = ok && WriteFile((r / "SOUNDS" / pt1Sounds[i]).string(), Filled(0x50D1 + i, 500 + 100 * i));
    ok = ok && WriteFile((r / "SOUNDS.QVRPt2" / pt2Sounds[i]).string(),
                         Filled(0x50D2 + i, 700 + 100 * i));
  }
  return ok ? saves.string() : std::string();
}

}  // namespace sample
