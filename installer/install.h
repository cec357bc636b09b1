// The second part's installer: carries the player's party from the finished
// first part's save into the second part's starting save, then swaps the data.
#pragma once

#include <cstdint>
#include <cstdio>

#include "fs.h"
#include "run.h"

inline constexpr std::uint32_t Part = 0x74726170;  // "part" as a little-endian word
inline constexpr std::uint32_t kPartySize = 64720;
inline constexpr std::uint32_t kPartyInTemplate = 148402;  // where the block goes in the new save
inline constexpr std::uint32_t kFlagByte = 302;            // bit 7: the first part is completed

// Looks for the "part" marker word at the 4-byte-aligned positions of `in`
// and takes the party block's position from the fourth word after it.
// Returns false when the file ends first.
bool FindParty(FILE* in, std::uint32_t* Offset);

// Clears the first part's progress in a party block before it enters the new save.
void ResetParty(unsigned char* partydata);

// Writes the party block into the new save `out`, open as decoded, at its
// place in the template, then pushes it to the disk and closes it. Returns
// null on success, otherwise the failure message.
const char* WriteParty(FILE* out, const unsigned char* partydata);

// Whether the decoded archives fit on the volume of the data folder and the
// new save on the save folder's (both on one, when they share it), each file
// rounded up to whole allocation units, with room for the file system's own
// records. A volume whose free space is not known does not stop the install.
bool EnoughRoom(const Room& data, const Room& saves);

// The whole install, run from the save folder by a caller that has started
// the run (StartRun); messages go to run.con, the key press after a refusal
// is read from run.keys. Returns the exit status; *installed tells a complete
// install from a refusal. The player's save keeps its name until everything
// else is in place.
int RunInstall(Run& run, bool* installed);
