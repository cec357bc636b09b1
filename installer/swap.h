// The data swap: the first part's archives and sounds make way for the
// second part's.
#pragma once

#include <cstdint>
#include <cstdio>

#include "fileset.h"
#include "survey.h"
#include "wait.h"

// Moves the four live archives aside, decodes the second part's in their place
// and swaps the sound folders, waiting out other programs' holds as `p` says.
// A SOUNDS.QVRPt1 of the player's own (survey `s`) first moves out of the
// way. Says nothing on success, otherwise where it stopped.
Said DataSwap(const Survey& s, FILE* con, Patience& p);

// Nothing said when the game's four archives are there to make way, the
// second part's four archives and sounds to be swapped in, and the first
// part's sounds; otherwise what DataSwap would stop with, or what is missing.
Said SwapInputMissing();

// The room DataSwap takes on a volume whose files take whole `unit`s.
std::uint64_t ArchiveBytes(std::uint64_t unit);
