// The command-line grammar. Pure: no <windows.h>.
#pragma once

enum class CommandOption {
  Removal,  // no "/" anywhere in the line
  Setup,    // "/setup"
  Wait,     // "/wait"
  Warning,  // "/warning"
  Remove,   // "/remove": the removal, for deployment tools (silent with a final "/s")
  None,     // any other "/..." option: nothing to do
};

struct ParsedCommandLine {
  CommandOption option;
  bool silent;
};

// `line` is the text after the program's name, as WinMain receives it.
ParsedCommandLine ParseCommandLine(const char* line);

// The text after the program's name in the whole command line (GetCommandLineA): the name is quoted
// or ends at the first blank, and the blanks after it are skipped, as the C runtime's start-up does.
const char* CommandLineTail(const char* wholeLine);
