// The data swap: the first part's archives and sounds make way for the
// second part's.
#pragma once

#include <cstdint>
#include <cstdio>

#include "fileset.h"
#include "wait.h"

// Moves the four live archives aside, decodes the second part's in their place
// and swaps the sound folders, waiting out other programs' holds as `p` says.
// Says nothing on success, otherwise where it stopped.
Said DataSwap(FILE* con, Patience& p);

// Null when the second part's four archives and sounds are all there to be
// swapped in, and the first part's sounds to make way; otherwise the message
// DataSwap would stop with.
const char* SwapInputMissing();

// The room DataSwap takes on a volume whose files take whole `unit`s.
std::uint64_t ArchiveBytes(std::uint64_t unit);
