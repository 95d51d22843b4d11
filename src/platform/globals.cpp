#include "platform/globals.h"

#include "platform/array.h"
#include "platform/exit_codes.h"

bool SilentMode = false;
HICON DialogIcon = nullptr;
HFONT BoldFont = nullptr;

// Memory ran out where the program cannot go on without it. A silent run shows no box: its exit
// code says it.
[[noreturn]] void FatalOutOfMemory() {
  if (!SilentMode) FatalAppExitA(0, "Memoria insufficiente");
  ExitProcess(SilentMode ? kExitUnfinished : 0);
}
