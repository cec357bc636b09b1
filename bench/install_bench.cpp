// How the installer's speed compares with plainly copying the same bytes:
//   DecodeCopy of the largest archive against a block copy through the same
//   streams, and a whole install (the built program, run from the save folder
//   of a sample installation) against copying the five files it decodes, and
//   against copying them and syncing them to the disk, as the install does.
// Prints the ratios of the medians, and the installer's own peak memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "decode.h"
#include "sample.h"

namespace fs = std::filesystem;

namespace {

std::string gRoot, gSaves, gBin;

std::string At(const std::string& rel) {
  return gRoot + "/" + rel;
}

// The five scrambled files an install decodes, with the bytes it takes of each.
struct Source {
  std::string path;
  std::int64_t count;
};
Source Scrambled(int i) {  // 0 is the template save, 1 to 4 the archives
  if (i == 0) return {At("Saves/CrackerFile"), sample::kTemplateSize};
  return {At(std::string("DATA.QVRPt2/") + sample::kPt2[i - 1].source), sample::kPt2[i - 1].count};
}

// The same streams and block size as the installer, without the key.
// Returns false when a file cannot be opened.
bool PlainCopy(const std::string& from, const std::string& to, std::int64_t count) {
  static unsigned char buf[64 * 1024];
  FILE* in = std::fopen(from.c_str(), "rb");
  FILE* out = in ? std::fopen(to.c_str(), "wb") : nullptr;
  if (!out) {
    if (in) std::fclose(in);
    return false;
  }
  for (std::size_t n; count > 0 && (n = std::fread(buf, 1, count < 65536 ? count : 65536, in)) > 0;
       count -= n)
    std::fwrite(buf, 1, n, out);
  std::fclose(in);
  return std::fclose(out) == 0;
}

// What `sync FILE...` does after a copy: each file pushed to the disk.
bool SyncFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  bool ok = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  return ok;
}

void DecodeLargest(benchmark::State& state) {
  std::string dest = At("decoded.tmp");
  Source sprites = Scrambled(1);
  DecodeUse use = {dest.c_str(),
                   "",
                   sprites.path.c_str(),
                   "",
                   "",
                   nullptr,
                   static_cast<std::int32_t>(sprites.count),
                   sample::kPt2[0].key};
  for (auto _ : state) {
    if (DecodeCopy(use, stdout)) state.SkipWithError("decode failed");
    state.PauseTiming();
    fs::remove(dest);
    sync();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * sprites.count);
}

void PlainCopyLargest(benchmark::State& state) {
  Source sprites = Scrambled(1);
  for (auto _ : state) {
    // Synced, as DecodeCopy syncs what it wrote.
    if (!PlainCopy(sprites.path, At("copied.tmp"), sprites.count) || !SyncFile(At("copied.tmp")))
      state.SkipWithError("copy failed");
    state.PauseTiming();
    fs::remove(At("copied.tmp"));
    sync();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * sprites.count);
}

// Runs one of the built programs from the sample's save folder, as a player
// would; returns whether it exited 0, with its resource use in *ru.
bool RunFromSaves(const char* name, struct rusage* ru) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(gSaves.c_str()) != 0 || !freopen("/dev/null", "w", stdout)) _exit(127);
    std::string exe = gBin + "/" + name;
    execl(exe.c_str(), name, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  return pid > 0 && wait4(pid, &status, 0, ru) == pid && status == 0;
}

bool RunInstaller(struct rusage* ru) {
  return RunFromSaves("QVRPt2Installer_mod", ru);
}

// Takes the sample installation back to where an install starts: the
// restorer for the archives and sounds, then the player's save.
void UndoInstall() {
  struct rusage ru;
  RunFromSaves("Reinstall_QVRPt1", &ru);
  if (fs::exists(At("Saves/save000.zsv.Original"))) {
    fs::remove(At("Saves/save000.zsv"));
    fs::rename(At("Saves/save000.zsv.Original"), At("Saves/save000.zsv"));
  }
}

void WholeInstall(benchmark::State& state) {
  struct rusage ru;
  for (auto _ : state) {
    if (!RunInstaller(&ru)) state.SkipWithError("install failed");
    state.PauseTiming();
    UndoInstall();
    sync();
    state.ResumeTiming();
  }
}

// The installer's own peak resident memory in KiB, read from its process as
// it exits (a parent's rusage would count the pages of the forked benchmark
// too); -1 when it did not complete.
long InstallerPeakKiB() {
  pid_t pid = fork();
  if (pid == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0 || chdir(gSaves.c_str()) != 0 ||
        !freopen("/dev/null", "w", stdout))
      _exit(127);
    std::string exe = gBin + "/QVRPt2Installer_mod";
    execl(exe.c_str(), "QVRPt2Installer_mod", static_cast<char*>(nullptr));
    _exit(127);
  }
  long peak = -1;
  int st = 0;
  if (pid > 0 && waitpid(pid, &st, 0) == pid && WIFSTOPPED(st)) {  // at its start
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT);
    ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    if (waitpid(pid, &st, 0) == pid && st >> 8 == (SIGTRAP | PTRACE_EVENT_EXIT << 8)) {
      std::ifstream status("/proc/" + std::to_string(pid) + "/status");
      for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) peak = std::stol(line.substr(6));
    }
    ptrace(PTRACE_CONT, pid, nullptr, nullptr);
    if (waitpid(pid, &st, 0) != pid || !WIFEXITED(st) || WEXITSTATUS(st) != 0) peak = -1;
  }
  UndoInstall();
  return peak;
}

// Copies the five files an install decodes; with `durable`, then syncs each,
// as `cp` followed by `sync FILE...` would.
void CopyAll(benchmark::State& state, bool durable) {
  for (auto _ : state) {
    bool ok = true;
    for (int i = 0; i < 5; i++)
      ok = PlainCopy(Scrambled(i).path, At("copy" + std::to_string(i)), Scrambled(i).count) && ok;
    for (int i = 0; i < 5 && durable; i++) ok = SyncFile(At("copy" + std::to_string(i))) && ok;
    if (!ok) state.SkipWithError("copy failed");
    state.PauseTiming();
    for (int i = 0; i < 5; i++) fs::remove(At("copy" + std::to_string(i)));
    // Each run starts, as an install does, with nothing of the last left to write.
    sync();
    state.ResumeTiming();
  }
}
void PlainCopyAll(benchmark::State& state) {
  CopyAll(state, false);
}
void DurableCopyAll(benchmark::State& state) {
  CopyAll(state, true);
}

// Keeps each benchmark's median (or only) real time, for the ratios.
struct RatioReporter : benchmark::ConsoleReporter {
  std::map<std::string, double> median;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration ? !median.count(r.run_name.function_name)
                                          : r.aggregate_name == "median")
        median[r.run_name.function_name] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

BENCHMARK(DecodeLargest)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainCopyLargest)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WholeInstall)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainCopyAll)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DurableCopyAll)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  fs::path root = fs::temp_directory_path() / ("qvr-bench-" + std::to_string(getpid()));
  gRoot = root.string();
  gBin = fs::canonical("/proc/self/exe").parent_path().string();
  gSaves = sample::WriteInstallation(gRoot, sample::Options());
  if (gSaves.empty()) {
    std::fprintf(stderr, "cannot write the sample installation in %s\n", gRoot.c_str());
    return 1;
  }
  long peak = InstallerPeakKiB();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  fs::remove_all(root);
  auto& m = reporter.median;
  if (m.count("DecodeLargest") && m.count("PlainCopyLargest"))
    std::printf("DecodeCopy / copy of the same bytes synced to the disk: %.2fx\n",
                m["DecodeLargest"] / m["PlainCopyLargest"]);
  if (m.count("WholeInstall") && m.count("PlainCopyAll"))
    std::printf("whole install / plain copy of the same bytes: %.2fx\n",
                m["WholeInstall"] / m["PlainCopyAll"]);
  if (m.count("WholeInstall") && m.count("DurableCopyAll"))
    std::printf("whole install / copy of the same bytes synced to the disk: %.2fx\n",
                m["WholeInstall"] / m["DurableCopyAll"]);
  std::printf("installer peak resident memory: %ld KiB\n", peak);
  return 0;
}
