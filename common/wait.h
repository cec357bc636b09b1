// Waiting out another program's brief hold on a file (Windows): a virus
// scanner or sync client opens each new or changed file for a moment, and
// Windows then refuses to rename or delete it. The schedule lives
// here, apart from any platform, so that a test can run it on its own clock.
#pragma once

#include <cstdint>
#include <cstdio>

// Milliseconds from some fixed start, and a pause: the system's, or a test's.
struct Clock {
  std::uint64_t (*now)(void* self);
  void (*sleep)(void* self, unsigned ms);
  void* self;
};
Clock SystemClock();

// How a run waits: up to `limit` ms for each hold; a second into the first
// wait that lasts so long, one line on `say`, which is then cleared, so that
// a run that meets many holds says it once.
struct Patience {
  std::uint64_t limit = 10000;
  FILE* say = nullptr;
  Clock clock = SystemClock();
};

// One wait, from its first refusal on.
struct Wait {
  bool begun = false;
  std::uint64_t start = 0;
  unsigned pause = 4;
};

// Pauses, with pauses growing from 4 ms to half a second, and returns true
// while the hold on `path` may still be waited out; false, at once, once the
// limit is reached.
bool WaitMore(Patience& p, Wait& w, const char* path);
