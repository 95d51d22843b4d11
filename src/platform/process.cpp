#include "platform/process.h"

#include <windows.h>

#include "platform/paths.h"

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

void* LoadSystemLibrary(const char* name) {
  char folder[kPathSize];
  char path[kPathSize];
  if (!GetSystemFolder(folder, sizeof folder) || !JoinPath(path, sizeof path, folder, name)) return nullptr;
  return LoadLibraryA(path);
}

void RestrictLibrarySearch() {
  typedef BOOL(WINAPI * DefaultDirectoriesFunction)(DWORD);
  typedef BOOL(WINAPI * DllDirectoryFunction)(const char*);
  const DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  DefaultDirectoriesFunction defaultDirectories = reinterpret_cast<DefaultDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (defaultDirectories != nullptr && defaultDirectories(kSearchSystem32)) return;
  DllDirectoryFunction dllDirectory =
      reinterpret_cast<DllDirectoryFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (dllDirectory != nullptr) dllDirectory("");
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
