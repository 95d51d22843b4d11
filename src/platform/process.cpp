#include "platform/process.h"

#include <windows.h>

void WaitForThread(void* thread) {
  HANDLE handle = static_cast<HANDLE>(thread);
  while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  }
}

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

// The system's version, asked once.
static long cachedPlatform = -1;
static unsigned long cachedMajor = 0;
static unsigned long cachedMinor = 0;
static int versionQueries = 0;

static void CacheVersion() {
  if (cachedPlatform != -1) return;
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  ++versionQueries;
  cachedPlatform = static_cast<long>(info.dwPlatformId);
  cachedMajor = info.dwMajorVersion;
  cachedMinor = info.dwMinorVersion;
}

unsigned long GetNtMajorVersion() {
  CacheVersion();
  return cachedPlatform == VER_PLATFORM_WIN32_NT ? cachedMajor : 0;
}

bool IsNewerSystem() {
  CacheVersion();
  return cachedMajor > 4 || cachedMinor > 10;
}

int VersionQueries() { return versionQueries; }
