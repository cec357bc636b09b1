// What the installation holds, looked at once at the start of a run, so that
// every question a program asks of it (is an install in place, what waits
// aside, what must not be held) gets the same answer. Names alone can lie: a
// repair of the game writes the first part's archives over the live ones, a
// player keeps a folder of a backup's name. The second part's archives have
// exact sizes, so the survey knows them by what they hold.
#pragma once

#include "fileset.h"
#include "fs.h"

struct Survey {
  Kind backup[kArchiveCount];  // what waits under a first-part archive's .QVRPt1 name
  bool pt2[kArchiveCount];     // the live archive is the second part's
  Kind sounds, soundsPt1, soundsPt2;
  Kind save, saveBackup, newSave;  // save000.zsv, .Original, .QVRPt2
};

Survey TakeSurvey();

// Whether the second part's data is anywhere, aside or live: an install is
// in place or was cut off, or a restore was.
bool SecondPartThere(const Survey& s);

// Whether SOUNDS.QVRPt1 is the player's own folder of that name: with no
// second-part data anywhere it can be no install's, since an install moves
// the sounds aside last and a restore puts them back first.
bool OwnSounds(const Survey& s);

// Whether a whole install is in place, by its names: every archive and the
// first part's sounds aside, the second part's sounds live, no new save
// waiting for the save's name. A download unpacked again beside it changes
// nothing.
bool Installed(const Survey& s);

// Whether every live archive is the second part's: nothing wrote over them
// since the install.
bool LiveIsPt2(const Survey& s);

// Moves `from` to the first free name of `base`, `base`.1, `base`.2, ...,
// which goes to `to`, and says why not when it did not move. Nothing the
// player may need is ever deleted: what is in the way goes there.
struct Moved {
  Fault fault;
  char to[64];
};
Moved MoveToNumbered(const char* from, const char* base, Patience& p);
