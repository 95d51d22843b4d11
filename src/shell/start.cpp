// The program's entry, in place of the C runtime's start-up: that start-up brings about 8 KB of code,
// imports and sections for arguments, locales, thread-local data and relocations that this program
// never uses. What the program needs from it is kept: the static objects are built before WinMain
// and destroyed, in the reverse order, after it returns.
#include <windows.h>
#include <stdlib.h>

#include "shell/command_line.h"

extern "C" void __main();  // runs the static objects' constructors (the compiler's runtime)

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int);

// Each static object's constructor registers its destructor here; the runtime's exit() runs them,
// last registered first, before it ends the process.
extern "C" int atexit(void (*function)()) {
  return _onexit(reinterpret_cast<_onexit_t>(function)) != nullptr ? 0 : -1;
}

extern "C" void ProgramStart() {
  __main();
  char* tail = const_cast<char*>(CommandLineTail(GetCommandLineA()));
  STARTUPINFOA startup;
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
  exit(WinMain(GetModuleHandleA(nullptr), nullptr, tail, show));
}
