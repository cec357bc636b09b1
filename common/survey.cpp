#include "survey.h"

#include <cstdio>

#include "fs.h"

Survey TakeSurvey() {
  Survey s = {};
  for (int i = 0; i < kArchiveCount; i++) {
    s.backup[i] = Exists(kArchives[i].backup);
    s.backupFile[i] = IsFile(kArchives[i].backup);
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

static int ArchivesAside(const Survey& s) {
  int aside = 0;
  for (bool b : s.backup) aside += b;
  return aside;
}

bool AnythingAside(const Survey& s) {
  return ArchivesAside(s) > 0 || s.soundsPt1;
}

bool Installed(const Survey& s) {
  return ArchivesAside(s) == kArchiveCount && s.soundsPt1 && s.sounds && !s.newSave;
}

bool MoveToNumbered(const char* from, const char* base, Patience* p) {
  char name[64];
  for (int n = 1; n < 100000; n++) {
    if (std::snprintf(name, sizeof name, "%s.%d", base, n) >= static_cast<int>(sizeof name))
      return false;
    if (!Exists(name)) return Move(from, name, p);
  }
  return false;
}
