// The command-line grammar. Pure: no <windows.h>.
#pragma once
#include <stddef.h>

enum class CommandOption {
  NoOption,  // no "/" anywhere in the line: the removal with its question
  Setup,    // "/setup"
  Wait,     // "/wait"
  Warning,  // "/warning"
  Remove,   // "/remove": the removal, for deployment tools (silent with a final "/s")
  Unknown,   // any other "/..." option: nothing to do
};

struct ParsedCommandLine {
  CommandOption option;
  bool silent;
};

// `line` is the text after the program's name, as WinMain receives it.
ParsedCommandLine ParseCommandLine(const char* line);

// "/log" or "/log=path" ("/log=\"path with blanks\"") anywhere in `line`, as a word of its own: taken
// out of the line in place, with the blanks before it, so that the rest reads as if it had never been
// there. True when it was there; `path` (of `size` bytes) gets the path, empty for "/log" alone or for
// a path that does not fit (never a cut one).
bool TakeLogOption(char* line, char* path, size_t size);

// The text after the program's name in the whole command line (GetCommandLineA): the name is quoted
// or ends at the first blank, and the blanks after it are skipped, as the C runtime's start-up does.
const char* CommandLineTail(const char* wholeLine);
