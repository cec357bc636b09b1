#include "support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/ptrace.h>
#include <sys/syscall.h>
#endif

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> n{0};
  fs::path base = fs::temp_directory_path();
#ifdef _WIN32
  unsigned long pid = GetCurrentProcessId();
#else
  unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  for (;;) {
    fs::path p = base / ("qvr-test-" + std::to_string(pid) + "-" + std::to_string(n++));
    if (fs::create_directory(p)) {
      path = p.generic_string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path, ec);
}

std::string HereDir() {
#ifdef _WIN32
  char buf[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return fs::path(std::string(buf, n)).parent_path().string();
#else
  return fs::read_symlink("/proc/self/exe").parent_path().string();
#endif
}

static std::string ReadText(const std::string& path) {
  sample::Bytes b = sample::ReadFile(path);
  std::string s(b.begin(), b.end());
#ifdef _WIN32
  std::string t;
  for (size_t i = 0; i < s.size(); i++)
    if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) t += s[i];
  s = t;
#endif
  return s;
}

static bool EndsWith(const std::string& s, const std::string& t) {
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

#ifdef _WIN32

// Starts the program `name` built beside the tests in folder `cwd`, with
// `in` and `out` (inheritable) as its standard input and output.
static HANDLE Spawn(const char* name, const std::string& cwd, HANDLE in, HANDLE out) {
  std::string exe = (fs::path(HereDir()) / (std::string(name) + ".exe")).string();
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + exe + "\"";
  std::string dir = fs::path(cwd).make_preferred().string();
  if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si,
                      &pi)) {
    ADD_FAILURE() << "cannot start " << exe;
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

static int WaitExit(HANDLE process) {
  DWORD code = static_cast<DWORD>(-1);
  if (process) {
    WaitForSingleObject(process, INFINITE);
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
  }
  return static_cast<int>(code);
}

RunResult RunProgram(const char* name, const std::string& cwd, const std::string& input,
                     long fileSizeLimit) {
  (void)fileSizeLimit;
  TempDir io;
  std::string inPath = io / "stdin.txt", outPath = io / "stdout.txt";
  sample::WriteFile(inPath, sample::Bytes(input.begin(), input.end()));
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE in = CreateFileA(inPath.c_str(), GENERIC_READ, FILE_SHARE_READ, &sa, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  RunResult r;
  r.status = WaitExit(Spawn(name, cwd, in, out));
  CloseHandle(in);
  CloseHandle(out);
  r.out = ReadText(outPath);
  return r;
}

Child::Child(const char* name, const std::string& cwd) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE childIn, childOut, toChild, fromChild;
  CreatePipe(&childIn, &toChild, &sa, 0);
  CreatePipe(&fromChild, &childOut, &sa, 0);
  SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
  process_ = Spawn(name, cwd, childIn, childOut);
  CloseHandle(childIn);
  CloseHandle(childOut);
  toChild_ = toChild;
  fromChild_ = fromChild;
}

Child::~Child() {
  if (process_) Wait();
  if (toChild_) CloseHandle(toChild_);
  CloseHandle(fromChild_);
}

std::string Child::ReadUntil(const std::string& text, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!EndsWith(out_, text) && std::chrono::steady_clock::now() < end) {
    DWORD avail = 0;
    if (!PeekNamedPipe(fromChild_, nullptr, 0, nullptr, &avail, nullptr)) break;
    if (avail == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    char buf[256];
    DWORD got = 0;
    if (!ReadFile(fromChild_, buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr)) break;
    for (DWORD i = 0; i < got; i++)
      if (buf[i] != '\r') out_ += buf[i];
  }
  return out_;
}

void Child::Write(const std::string& text) {
  DWORD put = 0;
  WriteFile(toChild_, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
}

bool Child::Running() {
  return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Child::Kill() {
  TerminateProcess(process_, 1);
  Wait();
}

int Child::Wait() {
  if (toChild_) CloseHandle(toChild_);
  toChild_ = nullptr;
  int code = WaitExit(process_);
  process_ = nullptr;
  return code;
}

#else

// Starts the program `name` built beside the tests in folder `cwd`, with `in`
// and `out` as its standard input and output; `traced`, stopped for ptrace at its start.
static pid_t Spawn(const char* name, const std::string& cwd, int in, int out,
                   long fileSizeLimit = 0, bool traced = false) {
  std::string exe = HereDir() + "/" + name;
  pid_t pid = fork();
  if (pid == 0) {
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    if (fileSizeLimit > 0) {
      // Past the limit a write fails with EFBIG instead of killing the process.
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit lim = {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(127);
    }
#ifdef __linux__
    if (traced) ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
#endif
#ifdef QVR_EATMYDATA
    // Syncs to the disk are the subject of the traced runs alone; elsewhere
    // they only cost time. The sanitizers' runtime must then allow a preload.
    if (!traced) {
      setenv("LD_PRELOAD", QVR_EATMYDATA, 1);
      const char* asan = getenv("ASAN_OPTIONS");
      setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(),
             1);
    }
#endif
    (void)traced;
    execl(exe.c_str(), name, static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) ADD_FAILURE() << "cannot start " << exe;
  return pid;
}

static int WaitExit(pid_t pid) {
  int st = 0;
  if (pid <= 0 || waitpid(pid, &st, 0) != pid) return -1;
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

RunResult RunProgram(const char* name, const std::string& cwd, const std::string& input,
                     long fileSizeLimit) {
  TempDir io;
  std::string inPath = io / "stdin.txt", outPath = io / "stdout.txt";
  sample::WriteFile(inPath, sample::Bytes(input.begin(), input.end()));
  int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
  int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  RunResult r;
  r.status = WaitExit(Spawn(name, cwd, in, out, fileSizeLimit));
  close(in);
  close(out);
  r.out = ReadText(outPath);
  return r;
}

Child::Child(const char* name, const std::string& cwd) {
  // A program that ended early must fail the test with a message, not end
  // the whole test process at the next write to it.
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes";
    return;
  }
  pid_ = Spawn(name, cwd, in[0], out[1]);
  close(in[0]);
  close(out[1]);
  toChild_ = in[1];
  fromChild_ = out[0];
}

Child::~Child() {
  if (pid_ > 0) Wait();
  if (fromChild_ >= 0) close(fromChild_);
}

std::string Child::ReadUntil(const std::string& text, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!EndsWith(out_, text)) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    struct pollfd p = {fromChild_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[256];
    ssize_t got = read(fromChild_, buf, sizeof buf);
    if (got <= 0) break;
    out_.append(buf, static_cast<size_t>(got));
  }
  return out_;
}

void Child::Write(const std::string& text) {
  if (write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    ADD_FAILURE() << "cannot write to the program";
}

bool Child::Running() {
  siginfo_t info = {};
  // WNOWAIT leaves an ended child for Wait to collect.
  return waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

void Child::Kill() {
  kill(pid_, SIGKILL);
  Wait();
}

int Child::Wait() {
  if (toChild_ >= 0) close(toChild_);
  toChild_ = -1;
  int code = WaitExit(pid_);
  pid_ = -1;
  return code;
}

#endif

#ifdef __linux__

static bool IsFileOperation(std::uint64_t nr) {
  static const long ops[] = {
      SYS_openat,   SYS_close,  SYS_renameat,  SYS_renameat2, SYS_linkat,
      SYS_unlinkat, SYS_fsync,  SYS_fdatasync, SYS_flock,
#ifdef SYS_open
      SYS_open,     SYS_rename, SYS_link,      SYS_unlink,
#endif
  };
  for (long op : ops)
    if (nr == static_cast<std::uint64_t>(op)) return true;
  return false;
}

// A name in the traced program's memory.
static std::string Peek(pid_t pid, std::uint64_t at) {
  std::string s;
  for (long w; errno = 0, w = ptrace(PTRACE_PEEKDATA, pid, at + s.size(), nullptr), errno == 0;) {
    size_t n = strnlen(reinterpret_cast<const char*>(&w), sizeof w);
    s.append(reinterpret_cast<const char*>(&w), n);
    if (n < sizeof w) break;
  }
  return s;
}

bool RunKilledAt(const char* name, const std::string& cwd, int op,
                 std::vector<std::string>* trace) {
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  pid_t pid = Spawn(name, cwd, null, null, 0, true);
  close(null);
  // Operations before the lock (loading the program) leave nothing to see.
  int st = 0, made = -1;
  if (pid <= 0 || waitpid(pid, &st, 0) != pid || !WIFSTOPPED(st)) {
    ADD_FAILURE() << "cannot start " << name << " under ptrace";
    return false;
  }
  ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  for (;;) {
    if (ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr) != 0 || waitpid(pid, &st, 0) != pid) break;
    if (WIFEXITED(st) || WIFSIGNALED(st)) return false;
    if (!WIFSTOPPED(st) || WSTOPSIG(st) != (SIGTRAP | 0x80)) continue;
    struct __ptrace_syscall_info info = {};
    ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info);
    if (info.op != PTRACE_SYSCALL_INFO_ENTRY || !IsFileOperation(info.entry.nr)) continue;
    if (made < 0 && info.entry.nr != SYS_flock) continue;
    auto nr = info.entry.nr, fd = info.entry.args[0];
    if (trace && (nr == SYS_fsync || nr == SYS_fdatasync))
      trace->push_back(
          "sync " +
          fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd)).string());
    if (trace && (nr == SYS_renameat || nr == SYS_renameat2))
      trace->push_back("rename " + Peek(pid, info.entry.args[1]) + " " +
                       Peek(pid, info.entry.args[3]));
    if (made++ == op) {
      kill(pid, SIGKILL);
      waitpid(pid, &st, 0);
      return true;
    }
  }
  ADD_FAILURE() << "lost track of " << name;
  return false;
}

#endif

// FNV-1a taken 8 bytes at a time (then the tail bytewise): quick enough for
// 50 MB archives, and any changed byte changes it. Blocks are whole words, so
// a file hashes the same whether read at once or in blocks.
static std::uint64_t Step(std::uint64_t h, const unsigned char* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * 1099511628211ull;
  }
  for (; i < n; i++) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

static std::uint64_t HashFile(const fs::path& p) {
  std::uint64_t h = 1469598103934665603ull;
  FILE* f = std::fopen(p.string().c_str(), "rb");
  if (!f) return 0;
  static unsigned char buf[1 << 20];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) h = Step(h, buf, n);
  std::fclose(f);
  return h;
}

std::uint64_t Hash(const sample::Bytes& b) {
  return Step(1469598103934665603ull, b.data(), b.size());
}

Entry FileEntry(const sample::Bytes& b) {
  return {static_cast<std::int64_t>(b.size()), Hash(b)};
}

Tree Snapshot(const std::string& root) {
  Tree t;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    // The programs' lock file stays on POSIX and goes on Windows; either way
    // it holds nothing of the game's.
    if (e.path().filename() == "QVR.lock") continue;
    std::string rel = fs::relative(e.path(), root).generic_string();
    if (e.is_directory())
      t[rel] = {-1, 0};
    else
      t[rel] = {static_cast<std::int64_t>(e.file_size()), HashFile(e.path())};
  }
  return t;
}

void RenameIn(Tree& t, const std::string& from, const std::string& to) {
  Tree moved;
  for (auto it = t.begin(); it != t.end();) {
    const std::string& k = it->first;
    if (k == from || k.rfind(from + "/", 0) == 0) {
      moved[to + k.substr(from.size())] = it->second;
      it = t.erase(it);
    } else {
      ++it;
    }
  }
  t.insert(moved.begin(), moved.end());
}

bool IsFilePath(const std::string& p) {
  return fs::is_regular_file(p);
}
bool IsFolderPath(const std::string& p) {
  return fs::is_directory(p);
}
bool Exists(const std::string& p) {
  return fs::exists(fs::symlink_status(p));
}
