#include "survey.h"

#include <cstdio>

#include "fs.h"

Survey TakeSurvey() {
  Survey s = {};
  for (int i = 0; i < kArchiveCount; i++) {
    const ArchivePaths& a = kArchives[i];
    std::uint64_t size = 0;
    s.backup[i] = Exists(a.backup);
    s.backupFile[i] = IsFile(a.backup);
    s.pt2[i] = IsFile(a.live, &size) && size == static_cast<std::uint64_t>(a.size);
  }
  s.sounds = Exists(kSounds);
  s.soundsPt1 = Exists(kSoundsPt1);
  s.soundsPt2 = Exists(kSoundsPt2);
  s.save = Exists(kSave);
  s.saveFile = IsFile(kSave);
  s.saveBackup = Exists(kSaveBackup);
  s.saveBackupFile = IsFile(kSaveBackup);
  s.newSave = Exists(kNewSave);
  return s;
}

static int Count(const bool (&each)[kArchiveCount]) {
  int n = 0;
  for (bool b : each) n += b;
  return n;
}

bool SecondPartThere(const Survey& s) {
  return Count(s.backup) > 0 || Count(s.pt2) > 0;
}

bool OwnSounds(const Survey& s) {
  return s.soundsPt1 && !SecondPartThere(s);
}

bool Installed(const Survey& s) {
  return Count(s.backup) == kArchiveCount && s.soundsPt1 && s.sounds && !s.newSave;
}

bool LiveIsPt2(const Survey& s) {
  return Count(s.pt2) == kArchiveCount;
}

Fault MoveToNumbered(const char* from, const char* base, Patience* p) {
  char name[64];
  for (int n = 1; n < 100000; n++) {
    if (std::snprintf(name, sizeof name, "%s.%d", base, n) >= static_cast<int>(sizeof name))
      return kFailed;
    if (!Exists(name)) return Move(from, name, p);
  }
  return kTaken;
}
