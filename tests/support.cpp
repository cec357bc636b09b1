#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#endif

namespace fs = std::filesystem;

// The tests may run with eatmydata preloaded, which the sanitizers' runtime
// must then allow.
extern "C" const char* __asan_default_options() {
  return "verify_asan_link_order=0";
}

// Test programs run side by side: a name taken by another is passed over.
TempDir::TempDir() {
  auto n = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    fs::path p = fs::temp_directory_path() / ("qvr-test-" + std::to_string(n++));
    if (fs::create_directory(p)) {
      path = p.generic_string();
      return;
    }
  }
}

// Files a test marked read-only go too: Windows would not delete them.
TempDir::~TempDir() {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::end(it);
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
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

void UnixShell(const std::string& dir, std::string command) {
#ifdef _WIN32  // Wine starts a program named by its Unix path, which it cannot wait for
  const std::string running = dir + "/.running";
  sample::WriteFile(running, {});
  STARTUPINFOA si = {};
  PROCESS_INFORMATION pi;
  si.cb = sizeof si;
  command = "/bin/sh -c \"" + command + " && rm .running\"";
  CreateProcessA(nullptr, &command[0], nullptr, nullptr, 0, 0, nullptr, dir.c_str(), &si, &pi);
  for (int ms = 0; ms < 10000 && fs::exists(running); ms += 10) Sleep(10);
  bool ran = !fs::exists(running);
#else
  bool ran = std::system(("cd '" + dir + "' && " + command).c_str()) == 0;
#endif
  if (!ran) ADD_FAILURE() << command;
}

#ifndef _WIN32
// The exit status of the child `pid`, 128 + the signal that killed it, or -1.
static int WaitFor(pid_t pid) {
  int st = 0;
  if (pid <= 0 || waitpid(pid, &st, 0) != pid) return -1;
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

int InChild(const std::function<int()>& body, long fileSizeLimit) {
  std::fflush(nullptr);  // nothing of ours is written twice
  pid_t pid = fork();
  if (pid == 0) {
    // Past the limit a write fails with EFBIG instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
    int status = fileSizeLimit == 0 || setrlimit(RLIMIT_FSIZE, &lim) == 0 ? body() : 127;
    std::fflush(nullptr);
    _exit(status);
  }
  return WaitFor(pid);
}
#endif

RunResult Call(int (*run)(Run& run), const std::string& cwd, const std::string& input,
               long fileSizeLimit, Patience patience) {
  TempDir io;
  sample::WriteFile(io / "keys", sample::Bytes(input.begin(), input.end()));
  FILE* keys = std::fopen((io / "keys").c_str(), "rb");
  FILE* con = std::fopen((io / "printed").c_str(), "wb");
  fs::path here = fs::current_path();
  fs::current_path(cwd);
  RunResult r;
  Run state = {con, keys, patience, {}};
#ifndef _WIN32
  if (fileSizeLimit > 0)
    r.status = InChild([&] { return run(state); }, fileSizeLimit);
  else
#endif
    r.status = run(state);
  (void)fileSizeLimit;
  fs::current_path(here);
  std::fclose(keys);
  std::fclose(con);
  sample::Bytes said = sample::ReadFile(io / "printed");
  r.out.assign(said.begin(), said.end());
  return r;
}

std::string Child::Read(const std::string& until, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (!until.empty() && out_.size() >= until.size() &&
        out_.compare(out_.size() - until.size(), until.size(), until) == 0)
      break;
    int got = ReadSome(10);
    if (got < 0) break;
    // Whatever it wrote before it ended is in the pipe by now. (Under Wine a
    // service may hold the pipe open long after.)
    if (got == 0 && until.empty() && !Running()) {
      while (ReadSome(0) > 0) {
      }
      break;
    }
  }
  return out_;
}

RunResult RunProgram(const char* name, const std::string& cwd, const std::string& input,
                     bool asPlayer) {
  Child c(name, cwd, asPlayer);
  c.Write(input);
  RunResult r;
  r.out = c.Read("", 120);
  r.status = c.Wait();
  return r;
}

#ifdef _WIN32

Child::Child(const char* name, const std::string& cwd, bool) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE childIn, childOut;
  CreatePipe(&childIn, &toChild_, &sa, 0);
  CreatePipe(&fromChild_, &childOut, &sa, 0);
  SetHandleInformation(toChild_, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(fromChild_, HANDLE_FLAG_INHERIT, 0);
  std::string exe = (fs::path(HereDir()) / (std::string(name) + ".exe")).string();
  std::string cmd = "\"" + exe + "\"", dir = fs::path(cwd).make_preferred().string();
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn;
  si.hStdOutput = childOut;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  if (CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si,
                     &pi))
    CloseHandle(pi.hThread);
  else
    ADD_FAILURE() << "cannot start " << exe;
  process_ = pi.hProcess;
  CloseHandle(childIn);
  CloseHandle(childOut);
}

Child::~Child() {
  if (process_) Wait();
  CloseHandle(fromChild_);
}

int Child::ReadSome(int waitMs) {
  DWORD avail = 0;
  if (!PeekNamedPipe(fromChild_, nullptr, 0, nullptr, &avail, nullptr)) return -1;
  if (avail == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    return 0;
  }
  char buf[256];
  DWORD got = 0;
  if (!ReadFile(fromChild_, buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr)) return -1;
  for (DWORD i = 0; i < got; i++)
    if (buf[i] != '\r') out_ += buf[i];
  return static_cast<int>(got);
}

void Child::Write(const std::string& text) {
  DWORD put = 0;
  WriteFile(toChild_, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
}

bool Child::Running() {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Child::Kill() {
  TerminateProcess(process_, 1);
  Wait();
}

int Child::Wait() {
  if (toChild_) CloseHandle(toChild_);
  toChild_ = nullptr;
  DWORD code = static_cast<DWORD>(-1);
  if (process_) {
    WaitForSingleObject(process_, INFINITE);
    GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
  }
  process_ = nullptr;
  return static_cast<int>(code);
}

#else

#ifdef __linux__
// The system calls that count as file operations: the only ones at which a
// traced program stops, so its reads and writes run at full speed.
static const long kFileOps[] = {
    SYS_openat,   SYS_close,  SYS_renameat,  SYS_renameat2, SYS_linkat,
    SYS_unlinkat, SYS_fsync,  SYS_fdatasync, SYS_flock,
#ifdef SYS_open
    SYS_open,     SYS_rename, SYS_link,      SYS_unlink,
#endif
};

// Between fork and exec: hands the file operations, and nothing else, to the tracer.
static bool StopAtFileOperations() {
  struct sock_filter f[2 * std::size(kFileOps) + 2];
  size_t n = 0;
  f[n++] = BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr));
  for (long op : kFileOps) {
    f[n++] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(op), 0, 1);
    f[n++] = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE);
  }
  f[n++] = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
  struct sock_fprog prog = {static_cast<unsigned short>(n), f};
  return ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) == 0 &&
         prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}
#endif

// Starts the program `name` built beside the tests in folder `cwd`, with `in`
// and `out` as its standard input and output; `traced`, stopped for ptrace at
// its start, with real syncs (the tests' eatmydata taken off).
static pid_t Spawn(const char* name, const std::string& cwd, int in, int out, bool traced,
                   bool asPlayer = false) {
  std::string exe = HereDir() + "/" + name;
  pid_t pid = fork();
  if (pid == 0) {
    if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    if (asPlayer && getuid() == 0 && (setgroups(0, nullptr) || setgid(65534) || setuid(65534)))
      _exit(127);
#ifdef __linux__
    if (traced && (unsetenv("LD_PRELOAD") != 0 || !StopAtFileOperations())) _exit(127);
#endif
    // The sanitized programs allow a preloaded eatmydata as the tests do; the
    // leak check cannot run under ptrace.
    const char* asan = getenv("ASAN_OPTIONS");
    std::string options = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", (options + (traced ? ":detect_leaks=0" : "")).c_str(), 1);
    execl(exe.c_str(), name, static_cast<char*>(nullptr));
    _exit(127);
  }
  if (pid < 0) ADD_FAILURE() << "cannot start " << exe;
  return pid;
}

Child::Child(const char* name, const std::string& cwd, bool asPlayer) {
  // A program that ended early must fail the test with a message, not end
  // the whole test process at the next write to it.
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes";
    return;
  }
  pid_ = Spawn(name, cwd, in[0], out[1], false, asPlayer);
  close(in[0]);
  close(out[1]);
  toChild_ = in[1];
  fromChild_ = out[0];
}

Child::~Child() {
  if (pid_ > 0) Wait();
  if (fromChild_ >= 0) close(fromChild_);
}

int Child::ReadSome(int waitMs) {
  struct pollfd p = {fromChild_, POLLIN, 0};
  if (poll(&p, 1, waitMs) <= 0) return 0;
  char buf[256];
  ssize_t got = read(fromChild_, buf, sizeof buf);
  if (got <= 0) return -1;
  out_.append(buf, static_cast<size_t>(got));
  return static_cast<int>(got);
}

void Child::Write(const std::string& text) {
  if (write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    ADD_FAILURE() << "cannot write to the program";
}

bool Child::Running() {
  siginfo_t info = {};
  // WNOWAIT leaves an ended child for Wait to collect.
  return pid_ > 0 && waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

void Child::Kill() {
  kill(pid_, SIGKILL);
  Wait();
}

int Child::Wait() {
  if (toChild_ >= 0) close(toChild_);
  toChild_ = -1;
  int status = WaitFor(pid_);
  pid_ = -1;
  return status;
}

#endif

#ifdef __linux__

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

// Skips the system call at which the traced `pid` stopped; it returns -err.
static void Fail([[maybe_unused]] pid_t pid, [[maybe_unused]] int err) {
#ifdef __x86_64__
  struct user_regs_struct regs;
  ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
  regs.orig_rax = ~0ull;
  regs.rax = static_cast<unsigned long long>(-err);
  ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
#endif
}

RunResult RunTraced(const char* name, const std::string& cwd, Traced& t) {
  int out[2];
  RunResult r;
  if (pipe2(out, O_CLOEXEC) != 0) return r;
  int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  pid_t pid = Spawn(name, cwd, null, out[1], true);
  close(null);
  close(out[1]);
  // Operations before the lock (loading the program) leave nothing to see.
  int st = 0, made = -1;
  if (pid <= 0 || waitpid(pid, &st, 0) != pid || !WIFSTOPPED(st))
    ADD_FAILURE() << "cannot start " << name << " under ptrace";
  else
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESECCOMP | PTRACE_O_EXITKILL);
  while (r.status < 0 && ptrace(PTRACE_CONT, pid, nullptr, nullptr) == 0 &&
         waitpid(pid, &st, 0) == pid) {
    if (WIFEXITED(st) || WIFSIGNALED(st))
      r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    if (r.status >= 0 || st >> 8 != (SIGTRAP | PTRACE_EVENT_SECCOMP << 8)) continue;
    struct __ptrace_syscall_info info = {};
    ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info);
    auto nr = info.seccomp.nr;
    if (made < 0 && nr != SYS_flock) continue;
    std::string op;
    if (nr == SYS_fsync || nr == SYS_fdatasync)
      op = "sync " + fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" +
                                      std::to_string(info.seccomp.args[0]))
                         .string();
    if (nr == SYS_renameat || nr == SYS_renameat2)
      op = "rename " + Peek(pid, info.seccomp.args[1]) + " " + Peek(pid, info.seccomp.args[3]);
    if (nr == SYS_openat && (info.seccomp.args[2] & (O_ACCMODE | O_CREAT)))
      op = "open " + Peek(pid, info.seccomp.args[1]);
    if (!op.empty()) t.ops.push_back(op);
    if (!op.empty() && ("|" + t.fail + "|").find("|" + op + "|") != std::string::npos)
      Fail(pid, t.err);
    if (t.failAt >= 0 && made == t.failAt) Fail(pid, t.err), t.failAt = -1;
    if (made++ == t.killAt && t.killAt >= 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &st, 0);
      r.status = 128 + SIGKILL;
    }
  }
  if (r.status < 0) ADD_FAILURE() << "lost track of " << name;
  char buf[4096];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
    r.out.append(buf, static_cast<size_t>(n));
  close(out[0]);
  return r;
}

#endif

// FNV-1a taken 8 bytes at a time (then the tail bytewise): quick enough for
// 50 MB archives, and any changed byte changes it. Blocks are whole words, so
// a file hashes the same whether read at once or in blocks.
static constexpr std::uint64_t kHashStart = 1469598103934665603ull;
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

static unsigned char block[1 << 20];

static std::uint64_t HashFile(const fs::path& p) {
  std::uint64_t h = kHashStart;
  FILE* f = std::fopen(p.string().c_str(), "rb");
  if (!f) return 0;
  for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) h = Step(h, block, n);
  std::fclose(f);
  return h;
}

Entry FileEntry(const sample::Bytes& b) {
  return {static_cast<std::int64_t>(b.size()), Step(kHashStart, b.data(), b.size())};
}

Entry DecodedEntry(int i) {
  static Entry known[4];
  std::int64_t count = sample::kPt2[i].count;
  if (known[i].size == count) return known[i];
  std::uint64_t h = kHashStart;
  for (std::int64_t pos = 0; pos < count; pos += sizeof block) {
    size_t n = static_cast<size_t>(std::min<std::int64_t>(count - pos, sizeof block));
    sample::Pt2Plain(i, static_cast<std::uint64_t>(pos), block, n);
    h = Step(h, block, n);
  }
  return known[i] = {count, h};
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
  for (auto& [name, entry] : moved) t[name] = entry;
}
