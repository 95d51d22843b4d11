#include "platform/run_log.h"

#include <string.h>
#include <windows.h>

#include "platform/deletion.h"
#include "platform/log_text.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

// A log grown past the limit keeps its last lines; what goes is the oldest runs.
const DWORD kLogLimit = 256 * 1024;
const DWORD kLogKeep = 64 * 1024;
const int kLineSize = 2 * kPathSize + 128;

HANDLE logFile = INVALID_HANDLE_VALUE;
char logPath[kPathSize] = "";
volatile LONG writing = 0;  // the commit's thread and the dialog's both log

// What the open file at `path` is: the plain file itself; the file itself but with another name as
// well (a hard link planted at the path would have us write into the file it names); or something
// else (a link, a folder, or a file opened somewhere other than where its folder opens: Wine follows
// a symbolic link to a file even when told not to, and calls it a plain file).
enum class Opened { Own, OtherNames, Elsewhere };

Opened Examine(HANDLE file, const char* path) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return GetNtMajorVersion() == 0 ? Opened::Own : Opened::Elsewhere;
  if ((information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return Opened::Elsewhere;
  }
  char folder[kPathSize], openedFolder[kPathSize], expected[kPathSize], opened[kPathSize];
  if (FolderOfPath(folder, sizeof folder, path) && GetOpenedPath(folder, openedFolder, sizeof openedFolder) &&
      GetOpenedPath(path, opened, sizeof opened)) {
    const char* slash = strrchr(path, '\\');
    if (!JoinPath(expected, sizeof expected, openedFolder, slash + 1) || CompareTextNoCase(opened, expected) != 0) {
      return Opened::Elsewhere;
    }
  }
  return information.nNumberOfLinks > 1 ? Opened::OtherNames : Opened::Own;
}

// Opens the log for appending; whatever else is at the path is removed first, never written through:
// a file of several names loses this one, a link goes as a link or, where the system would follow
// it, stays, and then there is no log.
HANDLE OpenLogFile(const char* path, void* descriptor) {
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  DWORD flags = FILE_ATTRIBUTE_NORMAL | (GetNtMajorVersion() >= 5 ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              descriptor != nullptr ? &security : nullptr, OPEN_ALWAYS, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;
    const Opened opened = Examine(file, path);
    if (opened == Opened::Own) return file;
    CloseHandle(file);
    if (!(opened == Opened::OtherNames ? DeleteFileA(path) : DeleteLinkItself(path))) return INVALID_HANDLE_VALUE;
  }
  return INVALID_HANDLE_VALUE;
}

// A log past its limit keeps its last lines only.
void TrimLog(HANDLE file) {
  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE || size <= kLogLimit) return;
  char* tail = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, kLogKeep));
  if (tail == nullptr) return;
  DWORD got = 0;
  if (SetFilePointer(file, static_cast<LONG>(size - kLogKeep), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      ReadFile(file, tail, kLogKeep, &got, nullptr) && got == kLogKeep) {
    size_t from = LogKeepFrom(tail, got, got - 1);
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, tail + from, static_cast<DWORD>(got - from), &written, nullptr);
    SetEndOfFile(file);
  }
  HeapFree(GetProcessHeap(), 0, tail);
}

void WriteLine(const char* text) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  LogStamp stamp = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
  char line[kLineSize];
  size_t length = ComposeLogLine(line, sizeof line, stamp, GetCurrentProcessId(), text);
  while (InterlockedExchange(&writing, 1) != 0) Sleep(0);
  DWORD written = 0;
  // Other runs (the batch file's steps) append to the same file meanwhile.
  if (SetFilePointer(logFile, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER) {
    WriteFile(logFile, line, static_cast<DWORD>(length), &written, nullptr);
  }
  InterlockedExchange(&writing, 0);
}

}  // namespace

void OpenRunLog(const char* path, const char* defaultName) {
  void* descriptor = nullptr;
  char full[kPathSize];
  bool named;
  if (path[0] != '\0') {
    char* name = nullptr;
    DWORD n = GetFullPathNameA(path, sizeof full, full, &name);
    named = n != 0 && n < sizeof full;
  } else {
    char folder[kPathSize];
    named = GetRunFilesFolder(folder, sizeof folder, &descriptor) && JoinPath(full, sizeof full, folder, defaultName);
  }
  if (named) logFile = OpenLogFile(full, descriptor);
  if (descriptor != nullptr) LocalFree(descriptor);
  if (logFile == INVALID_HANDLE_VALUE) return;
  CopyText(logPath, sizeof logPath, full);
  TrimLog(logFile);
}

const char* RunLogPath() { return logPath; }

void LogStep(const char* a, const char* b, const char* c, const char* d) {
  if (logFile == INVALID_HANDLE_VALUE) return;
  char text[kLineSize];
  CopyText(text, sizeof text, a);
  AppendText(text, sizeof text, b);
  AppendText(text, sizeof text, c);
  AppendText(text, sizeof text, d);
  WriteLine(text);
}

void LogError(const char* what, unsigned long error) {
  if (logFile == INVALID_HANDLE_VALUE) return;
  char text[kLineSize];
  char number[12];
  FormatDecimal(number, sizeof number, error);
  CopyText(text, sizeof text, what);
  AppendText(text, sizeof text, ": error ");
  AppendText(text, sizeof text, number);
  char system[256];
  if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, system,
                     sizeof system, nullptr) != 0 &&
      TrimTrailingBlanks(system)[0] != '\0') {
    AppendText(text, sizeof text, ": ");
    AppendText(text, sizeof text, system);
  }
  WriteLine(text);
}

void LogExitAndClose(int exitCode) {
  if (logFile == INVALID_HANDLE_VALUE) return;
  char number[12];
  FormatDecimal(number, sizeof number, static_cast<unsigned long>(exitCode));
  LogStep("exit code ", number, ": ", ExitCodeMeaning(exitCode));
  CloseHandle(logFile);
  logFile = INVALID_HANDLE_VALUE;
  logPath[0] = '\0';
}
