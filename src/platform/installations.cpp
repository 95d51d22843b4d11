#include "platform/installations.h"

#include <string.h>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace {

bool IsExistingFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The file a text names, as the system would start it: the quoted part, or else the shortest part
// before a blank (or the whole text) that names an existing file. False when none does.
bool NamedFile(const char* text, char* out, size_t size) {
  if (text[0] == '"') {
    const char* end = strchr(text + 1, '"');
    size_t n = end != nullptr ? static_cast<size_t>(end - text - 1) : strlen(text + 1);
    if (n + 1 > size) return false;
    memcpy(out, text + 1, n);
    out[n] = '\0';
    return IsExistingFile(out);
  }
  for (const char* p = text;; ++p) {
    if (*p != ' ' && *p != '\0') continue;
    size_t n = static_cast<size_t>(p - text);
    if (n > 0 && n + 1 <= size) {
      memcpy(out, text, n);
      out[n] = '\0';
      if (IsExistingFile(out)) return true;
    }
    if (*p == '\0') return false;
  }
}

bool SameFolder(const char* a, const char* b) {
  if (CompareTextNoCase(a, b) == 0) return true;
  // One may be the other's short form (a setup started as C:\PROGRA~1\...).
  char shortA[kPathSize], shortB[kPathSize];
  return GetShortPath(shortA, sizeof shortA, a) && GetShortPath(shortB, sizeof shortB, b) &&
         CompareTextNoCase(shortA, shortB) == 0;
}

}  // namespace

bool NamesAnotherInstallation(const char* text) {
  char file[kPathSize], folder[kPathSize], program[kPathSize], ours[kPathSize];
  return NamedFile(text, file, sizeof file) && FolderOfPath(folder, sizeof folder, file) &&
         GetProgramPath(program, sizeof program) && FolderOfPath(ours, sizeof ours, program) &&
         !SameFolder(folder, ours);
}

bool RegNamesAnotherInstallation(HKEY root, const char* keyPath, const char* valueName) {
  char text[2 * kPathSize];
  return ReadRegString(root, keyPath, valueName, text, sizeof text, "") && NamesAnotherInstallation(text);
}
