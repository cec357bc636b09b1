#include "install.h"

#include "decode.h"
#include "fileset.h"
#include "fs.h"
#include "swap.h"

// What the player may read, one constant each.
static constexpr const char* kBanner = "\nExtracting SAVED Game data.\n";
static constexpr const char* kNoNewSave = "Can't open OutFile file.\n";
static constexpr const char* kNoOriginal = "Can't open Original file.\n";
static constexpr const char* kNoParty = "Can't find party data in Original file.\n";
static constexpr const char* kShortParty = "Can't read party data from Original file.\n";
static constexpr const char* kOriginalNotClosed = "Can't close Original file.\n";
static constexpr const char* kNewSaveNotOpened = "Can't open save000.zsv file.\n";
static constexpr const char* kNewSaveNotClosed = "Can't close save000.zsv file.\n";
static constexpr const char* kNotCompleted =
    "You must first complete QVR Part1  before you can play QVR Part2.\n"
    "Press any key to continue.\n";
static constexpr const char* kInstalled =
    "QVR Part2 is already installed.\nRun Reinstall_QVRPt1 to go back to QVR Part1.\n";
static constexpr const char* kUnfinished =
    "An earlier install of QVR Part2 did not finish.\n"
    "Run Reinstall_QVRPt1, then QVRPt2Installer_mod again.\n";
static constexpr const char* kNoRoom =
    "Not enough free disk space for QVR Part2 (it needs 127 MB).\n"
    "Free some space, then run QVRPt2Installer_mod again.\n";
// Install's answer when the first part is not completed: no failure, but
// nothing of the run may stay.
static constexpr const char* kRefused = "";

static const DecodeUse kTemplateDecode = {
    kNewSave, kNoNewSave, kTemplate, "Can't open CrackerFile.\n", "Can't read CrackerFile.\n",
    nullptr,  245077,     0x3C};

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
  std::fputs(kNotCompleted, con);
  std::fflush(con);  // the player must see the prompt before we wait
  int XPrime = 0;
  if (std::fscanf(keys, "%i", &XPrime) != 1) XPrime = 0;  // any answer will do
}

// Reads the party block from the save at `path` into `p` when the first part
// is completed (*completed); the flag is read and shown either way.
static const char* ReadParty(const char* path, FILE* con, unsigned char* p, bool* completed) {
  FILE* in = std::fopen(path, "rb");
  if (!in) return kNoOriginal;
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
  *completed = data != 0;
  if (*completed && (!Seek(in, Offset) || std::fread(p, 1, kPartySize, in) != kPartySize)) {
    std::fclose(in);
    return kShortParty;
  }
  if (std::fclose(in) != 0 && *completed) return kOriginalNotClosed;
  return nullptr;
}

const char* WriteParty(const char* path, const unsigned char* p) {
  FILE* out = std::fopen(path, "r+b");
  if (!out) return kNewSaveNotOpened;
  bool ok = Seek(out, kPartyInTemplate) && std::fwrite(p, 1, kPartySize, out) == kPartySize;
  // On the disk before the player's save gives up its name to this one.
  ok = Sync(out) && ok;
  if (std::fclose(out) != 0 || !ok) return kNewSaveNotClosed;
  return nullptr;
}

// A backup from an earlier run, or both saves, may be in place; only folders
// in their way stop the run, before anything has changed.
static bool SavesUsable() {
  if (IsFile(kSave)) return !Exists(kSaveBackup) || IsFile(kSaveBackup);
  return !Exists(kSave);
}

// The player's save leaves its name only now, with everything else in place
// and on the disk (each decoded file was synced as it was closed), so a run
// cut off at any point before, a power cut too, leaves it where the game
// finds it. Once the save folder is synced the whole install is on the disk.
static const char* PutNewSaveInPlace() {
  SyncFolder(kDataFolder);
  SyncFolder(kGameFolder);
  bool moved = false;
  if (IsFile(kSave)) {
    Delete(kSaveBackup);
    moved = Move(kSave, kSaveBackup);
  }
  if (Move(kNewSave, kSave)) {
    SyncFolder(kSaveFolder);
    return nullptr;
  }
  if (moved) Move(kSaveBackup, kSave);
  return kNewSaveNotClosed;
}

// Null when nothing of the first part is moved aside; otherwise whether the
// earlier install completed decides what the player is told. A run stopped
// for want of the second part's sounds left no live sounds: not complete.
static const char* EarlierInstall() {
  int aside = 0;
  for (const ArchivePaths& a : kArchives) aside += Exists(a.backup);
  if (aside == 0 && !Exists(kSoundsPt1)) return nullptr;
  bool complete = aside == kArchiveCount && Exists(kSoundsPt1) && Exists(kSounds) &&
                  !Exists(kSoundsPt2) && !Exists(kNewSave);
  return complete ? kInstalled : kUnfinished;
}

// The running game holds its archives; moving some aside and then failing
// on the next would leave a half-swapped game.
static const char* ArchiveInUse() {
  static char message[160];
  for (const ArchivePaths& a : kArchives) {
    if (!InUse(a.live)) continue;
    std::snprintf(message, sizeof message, kInUse, FileName(a.live), "QVRPt2Installer_mod");
    return message;
  }
  return nullptr;
}

bool EnoughRoom(const Room& data, const Room& saves) {
  const std::uint64_t archives = ArchiveBytes(), save = kTemplateDecode.count;
  if (data.known && saves.known && data.volume == saves.volume) return data.free >= archives + save;
  return (!data.known || data.free >= archives) && (!saves.known || saves.free >= save);
}

static bool RoomForInstall() {
  Room data = {}, saves = {};
  data.known = FreeSpace(kDataFolder, &data.free, &data.volume);
  saves.known = FreeSpace(kSaveFolder, &saves.free, &saves.volume);
  return EnoughRoom(data, saves);
}

// Whatever would stop the install half-way, checked before anything changes.
static const char* Ready(FILE* con) {
  if (const char* earlier = EarlierInstall()) return earlier;
  if (const char* held = ArchiveInUse()) return held;
  if (!RoomForInstall()) return kNoRoom;
  std::fputs(kBanner, con);
  if (!SavesUsable()) return kNoNewSave;
  return nullptr;
}

// Everything from the making of the new save on. Returns null when the
// install is complete, kRefused when the first part is not completed,
// otherwise the message that says why it stopped.
static const char* Install(FILE* con, FILE* keys) {
  if (const char* fail = DecodeCopy(kTemplateDecode, con)) return fail;
  // Without the player's save, the backup of an earlier run carries the party.
  const char* from = IsFile(kSave) ? kSave : kSaveBackup;
  bool completed = false;
  if (const char* fail = ReadParty(from, con, partydata, &completed)) return fail;
  if (!completed) {
    // Nothing of this run stays, even if the window is closed at the prompt.
    Delete(kNewSave);
    Refuse(con, keys);
    return kRefused;
  }
  ResetParty(partydata);
  if (const char* fail = WriteParty(kNewSave, partydata)) return fail;
  if (const char* fail = DataSwap(con)) return fail;
  return PutNewSaveInPlace();
}

int RunInstall(FILE* con, FILE* keys) {
  const char* stop = Ready(con);
  if (!stop) {
    Delete(kNewSave);  // left by a run that was cut off
    stop = Install(con, keys);
    // The player's save never left its name; only the unfinished new one goes.
    if (stop) Delete(kNewSave);
  }
  if (stop) std::fputs(stop, con);
  return stop && *stop ? 1 : 0;
}
