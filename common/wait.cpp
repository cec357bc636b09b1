#include "wait.h"

#include <chrono>
#include <thread>

#include "fileset.h"

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

static std::uint64_t Now(void*) {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

static void Pause(void*, unsigned ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

Clock SystemClock() {
  return {Now, Pause, nullptr};
}
