#include "platform/process.h"

#include <windows.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/text.h"

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

namespace {

typedef BOOL(WINAPI* OpenProcessTokenFunction)(HANDLE, DWORD, HANDLE*);
typedef BOOL(WINAPI* GetTokenInformationFunction)(HANDLE, int, void*, DWORD, DWORD*);
typedef BOOL(WINAPI* ConvertSddlFunction)(const char*, DWORD, PSECURITY_DESCRIPTOR*, ULONG*);
const int kTokenElevation = 20;  // TOKEN_INFORMATION_CLASS of Windows Vista

// Looked up at run time: the 9x family lacks tokens and access lists.
FARPROC Advapi(const char* name) { return GetProcAddress(GetModuleHandleA("advapi32.dll"), name); }

}  // namespace

bool RunsElevated() {
  if (GetNtMajorVersion() < 6) return false;
  OpenProcessTokenFunction openToken =
      reinterpret_cast<OpenProcessTokenFunction>(reinterpret_cast<void*>(Advapi("OpenProcessToken")));
  GetTokenInformationFunction tokenInformation =
      reinterpret_cast<GetTokenInformationFunction>(reinterpret_cast<void*>(Advapi("GetTokenInformation")));
  HANDLE token = nullptr;
  if (openToken == nullptr || tokenInformation == nullptr || !openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  KernelHandle owner(token);
  DWORD elevated = 0, size = 0;
  return tokenInformation(token, kTokenElevation, &elevated, sizeof elevated, &size) && elevated != 0;
}

bool GetRunFilesFolder(char* folder, size_t size, void** descriptor) {
  *descriptor = nullptr;
  if (RunsElevated()) {
    ConvertSddlFunction convert = reinterpret_cast<ConvertSddlFunction>(
        reinterpret_cast<void*>(Advapi("ConvertStringSecurityDescriptorToSecurityDescriptorA")));
    char windows[kPathSize];
    // Protected: nothing inherited from the folder; full access for SYSTEM and Administrators only.
    if (convert == nullptr || !GetWindowsFolder(windows, sizeof windows) ||
        !convert("D:P(A;;FA;;;SY)(A;;FA;;;BA)", 1, descriptor, nullptr)) {
      if (size > 0) folder[0] = '\0';
      return false;
    }
    return JoinPath(folder, size, windows, "Temp");
  }
  return GetTempFolder(folder, size);
}

int CompareTextNoCase(const char* a, const char* b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}

// The system's version, asked once and published as one word, so that a thread reading it meanwhile
// sees either nothing yet (and asks itself) or all of it: the family in bit 16, the major version in
// bits 8-15, the minor one in bits 0-7, and bit 31 once it is known.
static volatile LONG cachedVersion = 0;

static LONG Version() {
  LONG known = cachedVersion;
  if (known != 0) return known;
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  known = static_cast<LONG>(0x80000000u | (info.dwPlatformId == VER_PLATFORM_WIN32_NT ? 0x10000u : 0u) |
                            (info.dwMajorVersion & 0xFFu) << 8 | (info.dwMinorVersion & 0xFFu));
  InterlockedExchange(&cachedVersion, known);
  return known;
}

unsigned long GetNtMajorVersion() {
  LONG version = Version();
  return (version & 0x10000) != 0 ? (static_cast<unsigned long>(version) >> 8 & 0xFFu) : 0;
}

bool IsNewerSystem() {
  unsigned long version = static_cast<unsigned long>(Version());
  return (version >> 8 & 0xFFu) > 4 || (version & 0xFFu) > 10;
}

void DescribeSystemVersion(char* out, size_t size) {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  GetVersionExA(&info);
  char number[12];
  const unsigned long parts[3] = {info.dwMajorVersion, info.dwMinorVersion,
                                  info.dwPlatformId == VER_PLATFORM_WIN32_NT ? info.dwBuildNumber
                                                                              : info.dwBuildNumber & 0xFFFF};
  CopyText(out, size, "");
  for (int i = 0; i < 3; ++i) {
    FormatDecimal(number, sizeof number, parts[i]);
    if (i > 0) AppendText(out, size, ".");
    AppendText(out, size, number);
  }
  AppendText(out, size, info.dwPlatformId == VER_PLATFORM_WIN32_NT ? " (NT)" : " (9x)");
}
