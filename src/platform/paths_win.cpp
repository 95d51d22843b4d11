#include <windows.h>

#include "platform/handles.h"
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

bool WriteWholeFile(const char* path, const void* data, unsigned long size, bool replace) {
  DWORD written = 0;
  bool whole;
  {
    FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, replace ? CREATE_ALWAYS : CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    whole = WriteFile(file.Get(), data, size, &written, nullptr) && written == size;
  }
  if (!whole) DeleteFileA(path);  // closed first: a torn file is no file
  return whole;
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
