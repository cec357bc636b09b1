#include "install.h"

#include "decode.h"
#include "fileset.h"
#include "fs.h"

static const DecodeUse kTemplateDecode = {kSave,
                                          "Can't open OutFile file.\n",
                                          kTemplate,
                                          "rb",
                                          "Can't open CrackerFile.\n",
                                          "Can't read CrackerFile.\n",
                                          nullptr,
                                          245077,
                                          0x3C};

static constexpr const char* kNoParty = "Can't find party data in Original file.\n";
static constexpr const char* kShortParty = "Can't read party data from Original file.\n";

// What this run did to the player's save, so that every early end can put it back.
struct SaveMoves {
  bool moved;    // the player's save went to the backup name
  bool created;  // this run created a new "save000.zsv"
};

static unsigned char partydata[kPartySize];

static bool ReadWord(FILE* in, std::uint32_t* w) {
  unsigned char b[4];
  if (std::fread(b, 1, 4, in) != 4) return false;
  *w = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
  return true;
}

bool FindParty(FILE* in, std::uint32_t* Offset) {
  std::uint32_t Temp4 = 0;
  if (!Seek(in, 0)) return false;
  do {
    if (!ReadWord(in, &Temp4)) return false;
  } while (Temp4 != Part);
  for (int i = 0; i < 4; i++) {
    if (!ReadWord(in, &Temp4)) return false;
  }
  *Offset = Temp4 + 288;
  return true;
}

void ResetParty(unsigned char* p) {
  for (int n = 0; n < 4; n++) p[835 + 5660 * n] = 0;
  for (int i = 253; i <= 332; i++) p[i] = 0;
  p[263] = 0x40;
  p[312] = 0x40;
}

// The flag byte, 0 when the save ends before it.
static unsigned ReadFlag(FILE* in, std::uint32_t Offset) {
  unsigned data = 0;
  if (Seek(in, std::uint64_t{Offset} + kFlagByte)) {
    int c = std::fgetc(in);
    if (c != EOF) data = static_cast<unsigned>(c);
  }
  return data;
}

static void Refuse(FILE* con, FILE* keys) {
  std::fputs("You must first complete QVR Part1  before you can play QVR Part2.\n", con);
  std::fputs("Press any key to continue.\n", con);
  std::fflush(con);  // the player must see the prompt before we wait
  int XPrime = 0;
  if (std::fscanf(keys, "%i", &XPrime) != 1) XPrime = 0;  // any answer will do
}

// Reads the party block from the save backup, or refuses when the first part
// is not completed (*refused, with a null result).
static const char* ReadParty(FILE* con, FILE* keys, bool* refused) {
  FILE* in = std::fopen(kSaveBackup, "rb");
  if (!in) return "Can't open Original file.\n";
  std::uint32_t Offset = 0;
  if (!FindParty(in, &Offset)) {
    std::fclose(in);
    return kNoParty;
  }
  std::fprintf(con, "Offset is %x.\n", static_cast<unsigned>(Offset));
  unsigned data = ReadFlag(in, Offset);
  std::fprintf(con, "Data is %x.\n", data);
  data &= 0x80;
  std::fprintf(con, "Data is %x.\n", data);
  if (!data) {
    Refuse(con, keys);
    std::fclose(in);
    *refused = true;
    return nullptr;
  }
  if (!Seek(in, Offset) || std::fread(partydata, 1, kPartySize, in) != kPartySize) {
    std::fclose(in);
    return kShortParty;
  }
  if (std::fclose(in) != 0) return "Can't close Original file.\n";
  return nullptr;
}

const char* WriteParty(const char* path, const unsigned char* p) {
  FILE* out = std::fopen(path, "r+b");
  if (!out) return "Can't open save000.zsv file.\n";
  bool ok = Seek(out, kPartyInTemplate) && std::fwrite(p, 1, kPartySize, out) == kPartySize;
  if (std::fclose(out) != 0 || !ok) return "Can't close save000.zsv file.\n";
  return nullptr;
}

static void MoveSaveAside(SaveMoves* s) {
  // Only with the player's save at hand may the old backup go; without it the
  // backup is the only copy left, and the run goes on with it.
  if (!IsFile(kSave)) return;
  Delete(kSaveBackup);
  s->moved = Move(kSave, kSaveBackup);
}

// After any run that did not complete, the player's save is back under its name.
static void PutSaveBack(const SaveMoves& s) {
  if (s.created) Delete(kSave);
  if (s.moved) Move(kSaveBackup, kSave);
}

int RunInstall(FILE* con, FILE* keys) {
  std::fputs("\nExtracting SAVED Game data.\n", con);
  SaveMoves s = {false, false};
  MoveSaveAside(&s);

  bool refused = false;
  const char* fail = DecodeCopy(kTemplateDecode, con, &s.created);
  if (!fail) fail = ReadParty(con, keys, &refused);
  if (!fail && !refused) {
    ResetParty(partydata);
    fail = WriteParty(kSave, partydata);
  }
  if (!fail && !refused) fail = DataSwap(con);

  if (fail) std::fputs(fail, con);
  if (fail || refused) PutSaveBack(s);
  return fail ? 1 : 0;
}
