#include <windows.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

// What a Get...A function of the system returned for a buffer of `size` bytes: the length of a
// whole path, or 0 (none) or the size it would need (it did not fit). A path that exactly filled
// the buffer counts as cut: 9x says so in no other way.
bool Fits(unsigned long n, char* out, size_t size) {
  if (n != 0 && n < size) return true;
  if (size > 0) out[0] = '\0';
  return false;
}

DWORD Room(size_t size) { return size < 0xFFFFFFFFu ? static_cast<DWORD>(size) : 0xFFFFFFFFu; }

}  // namespace

bool GetProgramPath(char* path, size_t size) { return Fits(GetModuleFileNameA(nullptr, path, Room(size)), path, size); }

bool GetCurrentFolder(char* out, size_t size) { return Fits(GetCurrentDirectoryA(Room(size), out), out, size); }

bool GetWindowsFolder(char* out, size_t size) { return Fits(GetWindowsDirectoryA(out, Room(size)), out, size); }

bool GetTempFolder(char* out, size_t size) { return Fits(GetTempPathA(Room(size), out), out, size); }

bool GetShortPath(char* out, size_t size, const char* path) {
  return Fits(GetShortPathNameA(path, out, Room(size)), out, size);
}

bool GetEnvironmentText(char* out, size_t size, const char* name) {
  return Fits(GetEnvironmentVariableA(name, out, Room(size)), out, size);
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

bool PathBesideProgram(char* out, size_t size, const char* name) {
  char program[kPathSize];
  char folder[kPathSize];
  if (!GetProgramPath(program, sizeof program) || !FolderOfPath(folder, sizeof folder, program)) {
    if (size > 0) out[0] = '\0';
    return false;
  }
  return JoinPath(out, size, folder, name);
}
