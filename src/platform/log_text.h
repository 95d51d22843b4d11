// The run log's text: its lines and what each exit code means. Pure: no <windows.h>.
#pragma once
#include <stddef.h>

struct LogStamp {
  unsigned year, month, day, hour, minute, second, milliseconds;
};

// "YYYY-MM-DD hh:mm:ss.mmm [pid] text" and CR LF in `out` (of `size` bytes, 64 at least); a text
// too long is cut, and control characters in it become blanks, so that every step stays one line.
// Returns the length.
size_t ComposeLogLine(char* out, size_t size, const LogStamp& stamp, unsigned long pid, const char* text);

// The meaning of an exit code, as the administrators' table gives it.
const char* ExitCodeMeaning(int code);

// Where a log of `size` bytes that has grown too long starts to be kept: the first line that begins
// in its last `keep` bytes (`size` when none does).
size_t LogKeepFrom(const char* text, size_t size, size_t keep);
