#include "decode.h"

#include <algorithm>
#include <cstddef>

#include "fs.h"

// Big enough that the stream calls cost nothing next to the disk, small enough
// that memory stays a few MB whatever the archive sizes.
static unsigned char info[64 * 1024];

// How much is decoded between two starts of write-back: the disk writes one
// stretch while the next is decoded, so the last sync waits for little.
static constexpr std::int64_t kWriteBackStep = 4 << 20;

const char* SourceMissing(const DecodeUse& use) {
  FILE* in = OpenToRead(use.source);
  if (!in) return use.sourceOpenFail;
  bool whole = Seek(in, static_cast<std::uint64_t>(use.count) - 1) && std::fgetc(in) != EOF;
  std::fclose(in);
  return whole ? nullptr : use.sourceShort;
}

const char* DecodeCopy(const DecodeUse& use, FILE* con, FILE** keep) {
  FILE* out = CreateNew(use.dest);
  if (!out) return use.destOpenFail;
  FILE* in = OpenToRead(use.source);
  if (!in) {
    std::fclose(out);
    return use.sourceOpenFail;
  }
  Seek(in, 0);
  if (use.announce) std::fputs(use.announce, con);

  // A local key: a byte store into `info` could otherwise alias `use.key` and
  // keep the loop from working on many bytes at a time.
  const unsigned char key = use.key;
  bool isShort = false, writeFailed = false;
  std::int64_t done = 0, flushed = 0;
  while (done < use.count && !isShort && !writeFailed) {
    std::size_t want =
        static_cast<std::size_t>(std::min<std::int64_t>(use.count - done, sizeof info));
    std::size_t got = std::fread(info, 1, want, in);
    isShort = got < want;
    for (std::size_t i = 0; i < got; i++) info[i] ^= key;
    writeFailed = std::fwrite(info, 1, got, out) < got;
    done += static_cast<std::int64_t>(got);
    if (done - flushed >= kWriteBackStep) {
      StartWriteBack(out, static_cast<std::uint64_t>(flushed));
      flushed = done;
    }
  }

  bool inOk = std::fclose(in) == 0;
  // A full disk may show only when the stream's last block is flushed; a
  // file that is not on the disk whole must not pass as written either.
  bool outOk = !writeFailed && std::fflush(out) == 0;
  if (keep && outOk && inOk && !isShort) {
    *keep = out;
    return nullptr;
  }
  outOk = Sync(out) && outOk;
  outOk = std::fclose(out) == 0 && outOk;
  if (isShort) return use.sourceShort;
  if (!inOk) return kCloseInFail;
  return outOk ? nullptr : kCloseOutFail;
}
