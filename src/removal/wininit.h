// The "[rename]" section of WININIT.INI, through which the 9x family deletes files at its next
// start ("NUL=<short path>" lines). Pure: no <windows.h>.
#pragma once
#include <stddef.h>

// The file's text with `lines` (each ending in CR LF) put right after its "[rename]" header, or
// in a new section at its end; no file is an empty text, which may be null. Returns the new length,
// or -1 when it does not fit `size` bytes.
long MergeRenameSection(const char* text, long length, const char* lines, char* out, size_t size);
