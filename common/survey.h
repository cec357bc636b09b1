// What the installation holds, looked at once at the start of a run, so that
// every question a program asks of it (is an install in place, what waits
// aside, what must not be held) gets the same answer.
#pragma once

#include "fileset.h"
#include "wait.h"

struct Survey {
  bool backup[kArchiveCount];      // a first-part archive waits under its .QVRPt1 name
  bool backupFile[kArchiveCount];  // ... as a file, so its live archive may go
  bool sounds, soundsPt1, soundsPt2;
  bool save, saveFile;              // save000.zsv
  bool saveBackup, saveBackupFile;  // save000.zsv.Original
  bool newSave;                     // save000.zsv.QVRPt2
};

Survey TakeSurvey();

// Whether anything of the first part waits aside: an install is in place or
// was cut off.
bool AnythingAside(const Survey& s);

// Whether a whole install is in place: every archive and the first part's
// sounds aside, the second part's sounds live, no new save waiting for the
// save's name. A download unpacked again beside it changes nothing.
bool Installed(const Survey& s);

// Moves `from` to the first free name of `base`.1, `base`.2, ...; false when
// it did not move. Nothing the player may need is ever deleted: what is in
// the way goes there.
bool MoveToNumbered(const char* from, const char* base, Patience* p);
