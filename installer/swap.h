// The data swap: the first part's archives and sounds make way for the
// second part's.
#pragma once

#include <cstdint>
#include <cstdio>

// Moves the four live archives aside, decodes the second part's in their place
// and swaps the sound folders. Returns null on success, otherwise the message
// reporting where it stopped.
const char* DataSwap(FILE* con);

// The bytes DataSwap writes: the four decoded archives.
std::uint64_t ArchiveBytes();
