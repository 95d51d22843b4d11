#include <windows.h>

#include "platform/paths.h"
#include "platform/text.h"

bool GetProgramPath(char* path, int size) {
  DWORD n = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(size));
  // A path that filled the buffer was cut (9x does not say so otherwise).
  if (n == 0 || n >= static_cast<DWORD>(size)) {
    if (size > 0) path[0] = '\0';
    return false;
  }
  return true;
}

bool PathBesideProgram(char* out, int size, const char* name) {
  char program[kPathSize];
  char folder[kPathSize];
  if (!GetProgramPath(program, sizeof program) || !FolderOfPath(folder, sizeof folder, program)) {
    if (size > 0) out[0] = '\0';
    return false;
  }
  return JoinPath(out, size, folder, name);
}
