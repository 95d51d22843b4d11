#include "shell/companions.h"

#include <windows.h>

#include "platform/text.h"

bool CompanionPath(const char* fileName, char* path, int size) {
  DWORD n = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(size));
  if (n == 0 || n >= static_cast<DWORD>(size)) {
    path[0] = '\0';
    return false;
  }
  char* name = FindFileNamePart(path);
  if (!CopyText(name, static_cast<size_t>(size - (name - path)), fileName)) {
    path[0] = '\0';
    return false;
  }
  return true;
}
