// The decoding copy: every scrambled file of the second part is turned into a
// plain one by combining each byte with a one-byte key.
#pragma once

#include <cstdint>
#include <cstdio>

struct DecodeUse {
  const char* dest;            // the plain file to create
  const char* destOpenFail;    // message when it cannot be created (or exists)
  const char* source;          // the scrambled file, only ever read
  const char* sourceOpenFail;  // message when the source cannot be opened
  const char* sourceShort;     // message when the source ends before `count` bytes
  const char* announce;        // printed just before the copy, or null
  std::int32_t count;          // bytes to copy; bytes of the source past it are ignored
  unsigned char key;
};

inline constexpr const char* kCloseInFail = "Can't close input file.\n";
inline constexpr const char* kCloseOutFail = "Can't close Outfile.\n";

// Null when use.source opens and holds at least use.count bytes; otherwise
// the message its copy would stop with. Checked before anything changes, so a
// missing or cut-short download stops the install before it starts.
const char* SourceMissing(const DecodeUse& use);

// The room use.dest takes on a volume whose files take whole `unit`s.
inline std::uint64_t SizeOnDisk(const DecodeUse& use, std::uint64_t unit) {
  std::uint64_t n = static_cast<std::uint64_t>(use.count);
  return unit > 1 ? (n + unit - 1) / unit * unit : n;
}

// Creates use.dest and fills it with the first use.count bytes of use.source,
// each XOR use.key, printing the announcement on `con`. Returns null when the
// copy completed and is on the disk, otherwise the message that reports why it
// stopped. A destination left behind by a stop stays. With `keep`, a whole
// copy is left open there, for the caller to finish through the one handle
// that made it.
const char* DecodeCopy(const DecodeUse& use, FILE* con, FILE** keep = nullptr);
