#include "platform/globals.h"

#include "platform/array.h"
#include "platform/exit_codes.h"
#include "platform/memory.h"

bool SilentMode = false;
HICON DialogIcon = nullptr;
HFONT BoldFont = nullptr;

// Memory ran out where the program cannot go on without it. A silent run shows no box: its exit
// code says it.
[[noreturn]] void FatalOutOfMemory() {
  if (!SilentMode) FatalAppExitA(0, "Memoria insufficiente");
  ExitProcess(SilentMode ? kExitUnfinished : 0);
}

// The process heap, which every Windows version has: no C runtime to link or to find.
void* AllocateMemory(size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }

void* ResizeMemory(void* block, size_t bytes) {
  if (block == nullptr) return AllocateMemory(bytes);
  return HeapReAlloc(GetProcessHeap(), 0, block, bytes);
}

void FreeMemory(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
