// Takes an installation back to the first part's archives and sounds. Saves
// are not touched; nothing is printed or read.
#pragma once

void RunRestore();
