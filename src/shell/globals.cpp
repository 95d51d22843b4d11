#include "shell/globals.h"

#include "lang/language_table.h"
#include "platform/exit_codes.h"

bool SilentMode = false;
HICON DialogIcon = nullptr;
HFONT BoldFont = nullptr;
char GroupFolderToOpen[kPathSize] = "";

// The language table could not grow. A silent run shows no box: its exit code says it.
[[noreturn]] void FatalOutOfMemory() {
  if (!SilentMode) FatalAppExitA(0, "Memoria insufficiente");
  ExitProcess(SilentMode ? kExitUnfinished : 0);
}
