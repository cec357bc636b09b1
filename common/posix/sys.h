// POSIX only, inside the platform layer: the one table from errno to Fault.
#pragma once

#include <cerrno>

#include "fs.h"

inline Fault FaultOf(int err) {
  static const struct {
    int err;
    Fault fault;
  } kTable[] = {{0, kOk},
                {EEXIST, kTaken},
                {ENOTEMPTY, kTaken},
                {ENOENT, kGone},
                {EWOULDBLOCK, kHeld},
                {EACCES, kDenied},
                {EPERM, kDenied},
                {EROFS, kProtected},
                {EINVAL, kUnsupported},
                {ENOSYS, kUnsupported},
                {ENOTSUP, kUnsupported},
                {EOPNOTSUPP, kUnsupported}};
  for (const auto& row : kTable)
    if (row.err == err) return row.fault;
  return kFailed;
}
