#include "wait.h"

#include "fileset.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

bool WaitMore(Patience& p, Wait& w, const char* path) {
  std::uint64_t now = p.clock.now(p.clock.self);
  if (!w.begun) w.start = now;
  w.begun = true;
  std::uint64_t waited = now - w.start;
  if (waited >= p.limit) return false;
  if (waited >= 1000 && p.say) {
    std::fprintf(p.say, kWaiting, FileName(path));
    std::fflush(p.say);
    p.say = nullptr;
  }
  std::uint64_t left = p.limit - waited;
  p.clock.sleep(p.clock.self, static_cast<unsigned>(w.pause < left ? w.pause : left));
  w.pause = w.pause < 250 ? w.pause * 2 : 500;
  return true;
}

#ifdef _WIN32

static std::uint64_t Now(void*) {
  return GetTickCount64();
}

static void Pause(void*, unsigned ms) {
  Sleep(ms);
}

#else

static std::uint64_t Now(void*) {
  timespec t = {};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::uint64_t>(t.tv_sec) * 1000 +
         static_cast<std::uint64_t>(t.tv_nsec) / 1000000;
}

static void Pause(void*, unsigned ms) {
  timespec t = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
  nanosleep(&t, nullptr);
}

#endif

Clock SystemClock() {
  return {Now, Pause, nullptr};
}
