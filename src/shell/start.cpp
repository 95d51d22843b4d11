// The program's entry, in place of the C runtime's start-up: the program links no C runtime (Windows
// 95 as first released has no msvcrt.dll). Nothing has to run before WinMain (no static object needs
// a constructor or a destructor run), and the process ends with WinMain's result.
#include <windows.h>

#include "shell/command_line.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int);

extern "C" void ProgramStart() {
  char* tail = const_cast<char*>(CommandLineTail(GetCommandLineA()));
  STARTUPINFOA startup;
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
  ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, tail, show)));
}
