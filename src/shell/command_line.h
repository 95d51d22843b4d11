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
