#include "survey.h"

#include <cstdio>

Survey TakeSurvey() {
  Survey s = {};
  for (int i = 0; i < kArchiveCount; i++) {
    const ArchivePaths& a = kArchives[i];
    Stat live = What(a.live);
    s.backup[i] = What(a.backup).kind;
    s.pt2[i] = live.kind == kFile && live.size == static_cast<std::uint64_t>(a.size);
  }
  s.sounds = What(kSounds).kind;
  s.soundsPt1 = What(kSoundsPt1).kind;
  s.soundsPt2 = What(kSoundsPt2).kind;
  s.save = What(kSave).kind;
  s.saveBackup = What(kSaveBackup).kind;
  s.newSave = What(kNewSave).kind;
  return s;
}

bool SecondPartThere(const Survey& s) {
  for (int i = 0; i < kArchiveCount; i++)
    if (s.backup[i] != kNone || s.pt2[i]) return true;
  return false;
}

bool OwnSounds(const Survey& s) {
  return s.soundsPt1 != kNone && !SecondPartThere(s);
}

bool Installed(const Survey& s) {
  for (Kind backup : s.backup)
    if (backup == kNone) return false;
  return s.soundsPt1 != kNone && s.sounds != kNone && s.newSave == kNone;
}

bool LiveIsPt2(const Survey& s) {
  for (bool pt2 : s.pt2)
    if (!pt2) return false;
  return true;
}

Moved MoveToNumbered(const char* from, const char* base, Patience& p) {
  Moved m = {kTaken, ""};
  for (int n = 0; n < 100000 && m.fault == kTaken; n++) {
    // "%.0d" writes nothing for 0: `base` itself comes first.
    if (std::snprintf(m.to, sizeof m.to, "%s%s%.0d", base, n ? "." : "", n) >= 64)
      return {kFailed, ""};
    if (What(m.to).kind == kNone) m.fault = Move(from, m.to, p);
  }
  return m;
}
