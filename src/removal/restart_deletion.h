#pragma once

// Deletes the given files and empty folders, in this order, when the system next starts: on the NT
// family through the system's pending file operations, on the 9x family through WININIT.INI, which
// is replaced whole or left as it was (in use, unreadable, no room for the new text). True when
// every path was scheduled.
bool DeleteAtRestart(const char* const* paths, int count);
