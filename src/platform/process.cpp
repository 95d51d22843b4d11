#include "platform/process.h"

#include <windows.h>

bool LaunchCommand(char* commandLine, const char* workingFolder, unsigned long waitMilliseconds) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, workingFolder, &startup,
                      &process)) {
    return false;
  }
  // The wait ends when the process ends or the time is over; either way we go on.
  if (waitMilliseconds != 0) WaitForSingleObject(process.hProcess, waitMilliseconds);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

int CompareTextNoCase(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}

static long cachedPlatform = -1;
static unsigned long cachedMajor = 0;
static int versionQueries = 0;

unsigned long GetNtMajorVersion() {
  if (cachedPlatform == -1) {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    ++versionQueries;
    cachedPlatform = static_cast<long>(info.dwPlatformId);
    cachedMajor = info.dwMajorVersion;
  }
  return cachedPlatform == VER_PLATFORM_WIN32_NT ? cachedMajor : 0;
}

bool IsNewerSystem() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  return info.dwMajorVersion > 4 || info.dwMinorVersion > 10;
}

int VersionQueries() { return versionQueries; }
