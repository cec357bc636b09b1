#include "install.h"

#include <cstring>
#include <initializer_list>

#include "decode.h"
#include "fileset.h"
#include "fs.h"
#include "survey.h"
#include "swap.h"

// What the player may read, one constant each.
static constexpr const char* kBanner = "\nExtracting SAVED Game data.\n";
static constexpr const char* kNoNewSave = "Can't open OutFile file.\n";
static constexpr const char* kNoOriginal = "Can't open Original file.\n";
static constexpr const char* kNoParty = "Can't find party data in Original file.\n";
static constexpr const char* kShortParty = "Can't read party data from Original file.\n";
static constexpr const char* kOriginalNotClosed = "Can't close Original file.\n";
static constexpr const char* kNewSaveNotClosed = "Can't close save000.zsv file.\n";
static constexpr const char* kNotCompleted =
    "You must first complete QVR Part1  before you can play QVR Part2.\n"
    "Press any key to continue.\n";
static constexpr const char* kInstalled =
    "QVR Part2 is already installed.\nRun Reinstall_QVRPt1 to go back to QVR Part1.\n";
static constexpr const char* kChanged =
    "The game's files were changed after QVR Part2 was installed.\n"
    "Run Reinstall_QVRPt1, then QVRPt2Installer_mod again.\n";
static constexpr const char* kUnfinished =
    "An earlier install of QVR Part2 did not finish.\n"
    "Run Reinstall_QVRPt1, then QVRPt2Installer_mod again.\n";
static constexpr const char* kNoRoom =
    "Not enough free disk space for QVR Part2 (it needs 127 MB).\n"
    "Free some space, then run QVRPt2Installer_mod again.\n";
static constexpr const char* kNotRenamed =
    "Can't rename save000.zsv.QVRPt2 to save000.zsv.\n"
    "Run Reinstall_QVRPt1, then QVRPt2Installer_mod again.\n";
static constexpr const char* kSaveLeftAside = "Your save is save000.zsv.Original until then.\n";
static constexpr const char* kNotOnDisk =
    "\nCan't write the changes to the disk.\n"
    "Run Reinstall_QVRPt1, then QVRPt2Installer_mod again.\n";
static constexpr const char* kSaveNotOnDisk = "\nCan't write the changes to the disk.\n";
static constexpr const char* kNested =
    "%s holds another %s folder.\n"
    "Move what is in it up one level, then run QVRPt2Installer_mod again.\n";
static constexpr const char* kSoundsEmpty =
    "SOUNDS.QVRPt2 folder is empty.\n"
    "Unpack the QVR Part 2 download again, then run QVRPt2Installer_mod again.\n";

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

// The answer is not used: any key will do.
static void Refuse(Run& run) {
  std::fputs(kNotCompleted, run.con);
  std::fflush(run.con);  // the player must see the prompt before we wait
  DropLock(&run.lock);   // nothing changes from here on: another copy may start
  int XPrime = 0;
  if (std::fscanf(run.keys, "%i", &XPrime) != 1) XPrime = 0;
}

// Reads the party block from the save at `path` into `p` when the first part
// is completed (*completed); the flag is read and shown either way.
static const char* ReadParty(const char* path, FILE* con, unsigned char* p, bool* completed) {
  FILE* in = OpenToRead(path);
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

const char* WriteParty(FILE* out, const unsigned char* p) {
  bool ok = Seek(out, kPartyInTemplate) && std::fwrite(p, 1, kPartySize, out) == kPartySize;
  // On the disk before the player's save gives up its name to this one.
  ok = Sync(out) && ok;
  if (std::fclose(out) != 0 || !ok) return kNewSaveNotClosed;
  return nullptr;
}

// A backup from an earlier run, or both saves, may be in place; only folders
// in their way keep the new save from ever taking the save's name.
static bool SavesUsable(const Survey& s) {
  return s.save != kFolder && (s.save == kNone || s.saveBackup != kFolder);
}

// Null when no second-part data is there; otherwise whether the earlier
// install completed, and what has written over it since (a repair or an
// update of the game), decides what the player is told.
static const char* EarlierInstall(const Survey& s) {
  if (!SecondPartThere(s)) return nullptr;
  if (!Installed(s)) return kUnfinished;
  return LiveIsPt2(s) ? kInstalled : kChanged;
}

// Where the install makes names, and every name it may rename: the game's,
// then the saves'.
static const char* const kMadeIn[] = {kSaveFolder, kDataFolder, kGameFolder, nullptr};
static void Renamed(const Survey& s, const char** names) {
  for (const ArchivePaths& a : kArchives) *names++ = a.live;
  *names++ = kSounds;
  *names++ = kSoundsPt2;
  if (OwnSounds(s)) *names++ = kSoundsPt1;
  if (s.save != kNone) *names++ = kSave;
  if (s.saveBackup != kNone) *names++ = kSaveBackup;
  if (s.newSave != kNone) *names++ = kNewSave;
  *names = nullptr;
}

// A download unpacked one level too deep holds nothing but a folder of its
// own name; an empty sound folder would leave the game silent.
static Said Misplaced() {
  for (const char* download : {kDataPt2, kSoundsPt2}) {
    const char* name = FileName(download);
    char inner[64];
    std::snprintf(inner, sizeof inner, "%s/%s", download, name);
    if (CountNames(download) == 1 && What(inner).kind == kFolder) return Say(kNested, name, name);
  }
  return Say(CountNames(kSoundsPt2) == 0 ? kSoundsEmpty : nullptr);
}

// What the file system needs of a volume for its own records of the new files.
static constexpr std::uint64_t kRecords = 1 << 20;

bool EnoughRoom(const Room& data, const Room& saves) {
  // A volume that knows no size of its own cannot tell its free space either.
  bool dataKnown = data.known && data.total > 0, savesKnown = saves.known && saves.total > 0;
  const std::uint64_t archives = ArchiveBytes(data.unit);
  const std::uint64_t save = SizeOnDisk(kTemplateDecode, saves.unit);
  if (dataKnown && savesKnown && data.volume == saves.volume)
    return data.free >= archives + save + kRecords;
  return (!dataKnown || data.free >= archives + kRecords) &&
         (!savesKnown || saves.free >= save + kRecords);
}

// Whatever would stop the install half-way, checked before anything changes:
// nothing said when nothing does, otherwise what to tell the player.
static Said Ready(const Survey& s, Patience& p) {
  if (const char* earlier = EarlierInstall(s)) return Say(earlier);
  const char* names[12];
  Renamed(s, names);
  if (Said refused = Untouchable(kInstaller, kMadeIn, names, p); refused.text[0]) return refused;
  if (!EnoughRoom(FreeSpace(kDataFolder), FreeSpace(kSaveFolder))) return Say(kNoRoom);
  if (Said misplaced = Misplaced(); misplaced.text[0]) return misplaced;
  if (const char* missing = SourceMissing(kTemplateDecode)) return Say(missing);
  return SwapInputMissing();
}

enum Outcome { kComplete, kRefused, kStopped };

// Builds the new save and swaps the data. Refused when the first part is not
// completed; stopped, with the message in *stop, on any failure. The new save
// is left as it is for its owner, Install.
static Outcome Build(const Survey& s, Run& run, Said* stop) {
  FILE* save = nullptr;
  if ((*stop = Say(DecodeCopy(kTemplateDecode, run.con, &save))).text[0]) return kStopped;
  // Without the player's save, the backup of an earlier run carries the party.
  const char* from = s.save != kNone ? kSave : kSaveBackup;
  bool completed = false;
  *stop = Say(ReadParty(from, run.con, partydata, &completed));
  if (stop->text[0] || !completed) {
    std::fclose(save);
    return stop->text[0] ? kStopped : kRefused;
  }
  ResetParty(partydata);
  if ((*stop = Say(WriteParty(save, partydata))).text[0]) return kStopped;
  *stop = DataSwap(s, run.con, run.patience);
  return stop->text[0] ? kStopped : kComplete;
}

// The player's save leaves its name only now, with everything else in place
// and on the disk (each decoded file and the new save were synced as they
// were closed), so a run cut off at any point before, a power cut too, leaves
// it where the game finds it; cut off between the two renames below, it
// leaves it as save000.zsv.Original beside the new save. Once the save
// folder is synced the whole install is on the disk. When the new save
// cannot take the name, the player's save goes back to it and the new save
// stays, complete, under its own name. A backup of an earlier install may be
// the player's only first-part save: it moves to the first free numbered name.
static Said Commit(const Survey& s, Patience& p) {
  if (!SyncFolder(kDataFolder) || !SyncFolder(kGameFolder)) return Say(kNotOnDisk);
  if (s.save != kNone) {
    if (s.saveBackup != kNone && MoveToNumbered(kSaveBackup, kSaveBackup, p).fault != kOk)
      return Say(kNotRenamed);
    if (Move(kSave, kSaveBackup, p) != kOk) return Say(kNotRenamed);
  }
  if (Move(kNewSave, kSave, p) == kOk)
    return Say(SyncFolder(kSaveFolder) ? nullptr : kSaveNotOnDisk);
  if (s.save != kNone && Move(kSaveBackup, kSave, p) != kOk)
    return Say("%s%s", kNotRenamed, kSaveLeftAside);
  return Say(kNotRenamed);
}

// The new save's one owner: it leaves the run under the save's name, or
// complete under its own when that name cannot be had; every other end
// deletes it, before the refusal's prompt too, so that nothing of a run that
// did not install stays, even if the window is closed. A file of its name
// that this run did not make (an earlier run's, or the player's own save so
// named) moves to the first free numbered name first.
static Outcome Install(const Survey& s, Run& run, Said* stop) {
  *stop = Say(kNoNewSave);
  if (!SavesUsable(s)) return kStopped;
  if (s.newSave != kNone && MoveToNumbered(kNewSave, kNewSave, run.patience).fault != kOk)
    return kStopped;
  Outcome built = Build(s, run, stop);
  if (built == kComplete) {
    *stop = Commit(s, run.patience);
    return stop->text[0] ? kStopped : kComplete;
  }
  // A name it could not make was another's: only its own new save goes. One
  // that cannot be deleted (held past the wait) harms nothing: the next run
  // moves it aside and keeps it, as any file of that name.
  if (std::strcmp(stop->text, kNoNewSave) != 0) Delete(kNewSave, run.patience);
  return built;
}

int RunInstall(Run& run, bool* installed) {
  run.patience.say = run.con;
  const Survey s = TakeSurvey();
  Said stop = Ready(s, run.patience);
  *installed = false;
  if (!stop.text[0]) {
    std::fputs(kBanner, run.con);
    Outcome outcome = Install(s, run, &stop);
    *installed = outcome == kComplete;
    if (outcome == kRefused) Refuse(run);
    if (outcome != kStopped) return 0;
  }
  std::fputs(stop.text, run.con);
  return 1;
}
