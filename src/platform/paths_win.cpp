#include <windows.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
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

// A wide function of the NT family, looked up at run time: Windows 95 lacks some of them. None on
// the 9x family, whose file names are all ANSI.
FARPROC WideFunction(const char* name) {
  return GetNtMajorVersion() != 0 ? GetProcAddress(GetModuleHandleA("kernel32.dll"), name) : nullptr;
}

typedef DWORD(WINAPI* ModuleNameFunction)(HMODULE, wchar_t*, DWORD);
typedef DWORD(WINAPI* TempPathFunction)(DWORD, wchar_t*);
typedef DWORD(WINAPI* ShortPathFunction)(const wchar_t*, wchar_t*, DWORD);

// `wide` in the ANSI code page, when it converts there and back unchanged: a letter the code page
// lacks becomes "?", or a look-alike (an L with a stroke an "L"), and names another file or none.
bool ExactAnsi(char* out, size_t size, const wchar_t* wide) {
  BOOL lost = FALSE;
  int room = size < 0x7FFFFFFF ? static_cast<int>(size) : 0x7FFFFFFF;
  int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, room, nullptr, &lost);
  // NT 4 knows no WC_NO_BEST_FIT_CHARS, a UTF-8 code page neither flag nor check: the way back tells.
  if (n == 0 && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    lost = FALSE;
    n = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, room, nullptr, nullptr);
  }
  wchar_t back[kPathSize];
  if (n == 0 || lost || MultiByteToWideChar(CP_ACP, 0, out, -1, back, kPathSize) == 0) return false;
  for (int i = 0; back[i] == wide[i]; ++i) {
    if (back[i] == L'\0') return true;
  }
  return false;
}

// A path the system gave in its wide form (`n` characters), as the ANSI functions can name it: as
// it is, else with its folder in the short (8.3) form and its own name kept, which is how the list
// of installed files names the program. Refused when neither survives the ANSI code page: 8.3
// names turned off on a volume give the long form back.
bool FromWide(char* out, size_t size, DWORD n, const wchar_t* wide) {
  bool named = n != 0 && n < kPathSize && ExactAnsi(out, size, wide);
  if (!named && n != 0 && n < kPathSize) {
    ShortPathFunction shortPath =
        reinterpret_cast<ShortPathFunction>(reinterpret_cast<void*>(WideFunction("GetShortPathNameW")));
    DWORD name = n;  // where the name after the last "\" starts; empty for a folder ending in "\"
    while (name > 0 && wide[name - 1] != L'\\') --name;
    // The folder without its final "\", but a drive's root keeps it: "C:" is that drive's current folder.
    DWORD end = name > 0 ? name - 1 : 0;
    if (end == 2 && wide[1] == L':') end = 3;
    wchar_t folder[kPathSize];
    wchar_t shortForm[kPathSize];
    for (DWORD i = 0; i < end; ++i) folder[i] = wide[i];
    folder[end] = L'\0';
    DWORD m = end > 0 && shortPath != nullptr ? shortPath(folder, shortForm, kPathSize) : 0;
    if (m != 0 && m + 1 + (n - name) < kPathSize) {
      if (shortForm[m - 1] != L'\\') shortForm[m++] = L'\\';
      for (DWORD i = name; i <= n; ++i) shortForm[m++] = wide[i];
      named = ExactAnsi(out, size, shortForm);
    }
  }
  if (!named && size > 0) out[0] = '\0';
  return named;
}

}  // namespace

bool GetProgramPath(char* path, size_t size) {
  ModuleNameFunction name =
      reinterpret_cast<ModuleNameFunction>(reinterpret_cast<void*>(WideFunction("GetModuleFileNameW")));
  if (name == nullptr) return Fits(GetModuleFileNameA(nullptr, path, Room(size)), path, size);
  wchar_t wide[kPathSize];
  return FromWide(path, size, name(nullptr, wide, kPathSize), wide);
}

bool GetWindowsFolder(char* out, size_t size) { return Fits(GetWindowsDirectoryA(out, Room(size)), out, size); }

bool GetSystemFolder(char* out, size_t size) { return Fits(GetSystemDirectoryA(out, Room(size)), out, size); }

bool GetTempFolder(char* out, size_t size) {
  TempPathFunction temp = reinterpret_cast<TempPathFunction>(reinterpret_cast<void*>(WideFunction("GetTempPathW")));
  if (temp == nullptr) return Fits(GetTempPathA(Room(size), out), out, size);
  wchar_t wide[kPathSize];
  return FromWide(out, size, temp(kPathSize, wide), wide);
}

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
    KernelHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, replace ? CREATE_ALWAYS : CREATE_NEW,
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
