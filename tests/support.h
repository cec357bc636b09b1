// What the tests share: temporary folders, running a built program, and
// snapshots of a folder tree.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

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

struct RunResult {
  int status = -1;
  std::string out;  // standard output, with "\r\n" read as "\n"
};

// Runs the program `name` built beside the tests, in folder `cwd`, with
// `input` as its standard input. A nonzero `fileSizeLimit` caps the size of
// every file it writes (POSIX only), as a full disk would.
RunResult RunProgram(const char* name, const std::string& cwd, const std::string& input = "",
                     long fileSizeLimit = 0);

#ifdef __linux__
// Runs the program `name` in `cwd` and kills it just before its file
// operation number `op` reaches the system, as a closed window or a power cut
// would. Operations are opens, closes, renames, links, deletes, syncs and
// locks, counted from 0 at the program's lock. Returns false when it ended
// before making that many. Its syncs are real, and `trace` gets its syncs
// ("sync /full/path") and renames ("rename FROM TO") in order.
bool RunKilledAt(const char* name, const std::string& cwd, int op,
                 std::vector<std::string>* trace = nullptr);
#endif

// A program started beside the tests with pipes for its standard input and
// output, for talking to it while it runs.
struct Child {
  Child(const char* name, const std::string& cwd);
  ~Child();
  // Reads standard output until it ends with `text` or `seconds` pass; returns all read so far.
  std::string ReadUntil(const std::string& text, double seconds);
  void Write(const std::string& text);
  bool Running();
  int Wait();   // the exit status
  void Kill();  // as closing its window would

 private:
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
std::uint64_t Hash(const sample::Bytes& b);
Entry FileEntry(const sample::Bytes& b);
// Renames `from` and everything below it within a snapshot.
void RenameIn(Tree& t, const std::string& from, const std::string& to);

bool IsFilePath(const std::string& p);
bool IsFolderPath(const std::string& p);
bool Exists(const std::string& p);
