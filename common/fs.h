// The platform layer, by concern: what the programs do to files (files.h),
// what they ask of the disk (disk.h), and how they wait out another
// program's brief hold (wait.h).
#pragma once

#include "disk.h"
#include "files.h"
#include "wait.h"
