// What the tests share: temporary folders, running the programs (in this
// process or as their own), snapshots of a folder tree, and the party-block
// reset written out apart from the installer's.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "run.h"
#include "sample.h"

// A fresh folder, removed with everything in it when the test ends.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// The folder of the running test program, where the programs are built too.
std::string HereDir();

// Runs `command` in the Unix shell in `dir`, under Wine too, for Unix links.
void UnixShell(const std::string& dir, std::string command);

struct RunResult {
  int status = -1;
  std::string out;  // what it printed, with "\r\n" read as "\n"
  bool operator==(const RunResult& o) const { return status == o.status && out == o.out; }
};
inline void PrintTo(const RunResult& r, std::ostream* os) {
  *os << "exit status " << r.status << ", printed:\n" << r.out;
}

// Calls `run` (RunRestore, or RunInstall through a lambda) with the working
// folder set to `cwd`, `input` as the player's typing, its messages captured
// and `patience` for other programs' holds, as the program's main would call
// it. A nonzero `fileSizeLimit` runs it in a child process that may write no
// file past that size, as on a full disk (POSIX only).
RunResult Call(int (*run)(Run& run), const std::string& cwd, const std::string& input = "",
               long fileSizeLimit = 0, Patience patience = {});

#ifndef _WIN32
// Runs `body` in a forked child and returns the child's exit status, which is
// what `body` returned. With a `fileSizeLimit`, the child's files may grow to
// that many bytes and no further: past it a write fails as on a full disk.
int InChild(const std::function<int()>& body, long fileSizeLimit = 0);
#endif

// A program built beside the tests, started in folder `cwd` with pipes for
// its standard input and output, for talking to it while it runs.
struct Child {
  // `asPlayer`: as the user nobody when the tests run as root (POSIX).
  Child(const char* name, const std::string& cwd, bool asPlayer = false);
  ~Child();
  // Reads its output until that ends with `until` (with "", until the
  // program has ended) or `seconds` pass; returns all read so far.
  std::string Read(const std::string& until, double seconds);
  void Write(const std::string& text);
  bool Running();
  int Wait();   // closes its input, then returns the exit status
  void Kill();  // as closing its window would

 private:
  int ReadSome(int waitMs);  // bytes added to out_; -1 once the output is closed
  std::string out_;
#ifdef _WIN32
  void* process_ = nullptr;
  void* toChild_ = nullptr;
  void* fromChild_ = nullptr;
#else
  int pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
#endif
};

// Runs the program `name` as its own process in `cwd`, with `input` on its
// standard input, to its end.
RunResult RunProgram(const char* name, const std::string& cwd, const std::string& input = "",
                     bool asPlayer = false);

#ifdef __linux__
// Runs the program `name` in `cwd` under ptrace, stopping it at each file
// operation: opens, closes, renames, links, deletes, syncs and locks, counted
// from 0 at the program's lock. Its syncs are real.
struct Traced {
  int killAt = -1;  // killed just before that operation, as a closed window or power cut would
  // Operations as `ops` names them, "|" between, that fail with `err`, as on a
  // failing disk (x86-64 only); and the operation `failAt`, which is then -1.
  std::string fail;
  std::vector<std::string> ops;  // its syncs ("sync /full/path"), renames and opens to write
  int err = EIO, failAt = -1;
};
// Status 128 + 9 when it was killed.
RunResult RunTraced(const char* name, const std::string& cwd, Traced& t);
#endif

// Every file and folder below a root: size and content hash, by relative path
// ("/" separated); folders have size -1. The lock file is left out.
struct Entry {
  std::int64_t size;
  std::uint64_t hash;
  bool operator==(const Entry& o) const { return size == o.size && hash == o.hash; }
};
inline void PrintTo(const Entry& e, std::ostream* os) {
  *os << (e.size < 0 ? std::string("folder") : std::to_string(e.size) + " bytes");
}
using Tree = std::map<std::string, Entry>;
Tree Snapshot(const std::string& root);
Entry FileEntry(const sample::Bytes& b);
// The entry of the second part's archive `i` as the installer decodes it.
Entry DecodedEntry(int i);
// Renames `from` and everything below it within a snapshot, replacing what was there.
void RenameIn(Tree& t, const std::string& from, const std::string& to);

// The first part's progress cleared from a party block before it enters the
// new save, in order: written out here apart from the installer's own code,
// so that each checks the other.
struct ResetRow {
  int first, last;  // bytes of the block, both included
  unsigned char value;
};
inline constexpr ResetRow kPartyReset[] = {
    {835, 835, 0}, {6495, 6495, 0},  {12155, 12155, 0}, {17815, 17815, 0},
    {253, 332, 0}, {263, 263, 0x40}, {312, 312, 0x40},
};
inline void ApplyPartyReset(unsigned char* party) {
  for (const ResetRow& r : kPartyReset)
    for (int i = r.first; i <= r.last; i++) party[i] = r.value;
}
