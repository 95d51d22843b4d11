#include "removal/restart_deletion.h"

#include <string.h>
#include <windows.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "removal/wininit.h"

namespace {

typedef BOOL(WINAPI* MoveFileExFunction)(const char*, const char*, DWORD);

// WININIT.INI is small; a larger one is left alone rather than cut.
const long kWininitSize = 32 * 1024;

bool DeleteAtRestartNt(const char* const* paths, int count) {
  // Looked up when needed: the 9x family's kernel has it only as a stub.
  MoveFileExFunction moveFileEx = reinterpret_cast<MoveFileExFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExA")));
  if (moveFileEx == nullptr) return false;
  bool all = true;
  for (int i = 0; i < count; ++i) all = moveFileEx(paths[i], nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE && all;
  return all;
}

bool DeleteAtRestart9x(const char* const* paths, int count) {
  // The renames run before Windows starts, in real mode: short names only.
  static char lines[kWininitSize];
  int used = 0;
  for (int i = 0; i < count; ++i) {
    // "NUL=", the short path written in place, and the line end, or nothing when it does not fit.
    int room = static_cast<int>(sizeof lines) - used - 7;
    if (room <= 0) return false;
    memcpy(lines + used, "NUL=", 4);
    if (!GetShortPath(lines + used + 4, static_cast<size_t>(room), paths[i])) return false;
    used += 4 + static_cast<int>(strlen(lines + used + 4));
    memcpy(lines + used, "\r\n", 3);
    used += 2;
  }
  char windows[kPathSize];
  char path[kPathSize];
  char fresh[kPathSize];
  if (!GetWindowsFolder(windows, sizeof windows) || !JoinPath(path, sizeof path, windows, "WININIT.INI") ||
      !JoinPath(fresh, sizeof fresh, windows, "KVXWINIT.NEW")) {
    return false;
  }
  // The system keeps profile files it wrote in a cache: have it written out before we read.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);

  static char text[kWininitSize];
  static char merged[2 * kWininitSize];
  DWORD length = 0;
  bool existed, read;
  {
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    existed = file.IsValid();
    // Only a missing file is an empty one: a file in use or not ours to read holds other
    // programs' pending renames, which a rewrite would lose.
    read = existed ? ReadFile(file.Get(), text, sizeof text, &length, nullptr) && length < sizeof text
                   : GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  if (!read) return false;
  long total = MergeRenameSection(text, static_cast<long>(length), lines, merged, sizeof merged);
  // The new text, which holds the old one, is written whole beside the file before the file is
  // touched: a full disk leaves it as it was. The 9x family has no replacing rename (MoveFileEx is
  // a stub there), so the file is deleted and the new one takes its name.
  if (total < 0 || !WriteWholeFile(fresh, merged, static_cast<unsigned long>(total), true)) return false;
  if (existed && !DeleteFileA(path)) {
    DeleteFileA(fresh);  // in use: left as it was
    return false;
  }
  // Should this fail, the whole text is still there, under the new name.
  return MoveFileA(fresh, path) != FALSE;
}

}  // namespace

bool DeleteAtRestart(const char* const* paths, int count) {
  if (count == 0) return true;
  return GetNtMajorVersion() != 0 ? DeleteAtRestartNt(paths, count) : DeleteAtRestart9x(paths, count);
}
