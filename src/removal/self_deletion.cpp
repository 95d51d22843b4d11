#include "removal/self_deletion.h"

#include <windows.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "removal/batch_text.h"

namespace {

// The removal's process id, for "/wait" in the batch file: the interpreter and what it starts inherit
// the environment. A process id cannot be taken first by another program, as a fixed name can.
const char kRemovalProcessVariable[] = "KVX_REMOVAL_PROCESS";

// Twenty-nine paths, each with every "%" doubled, and the fixed text around them.
const int kBatchTextSize = 29 * 2 * (kPathSize + 16) + 512;

// Names tried in turn when a file that cannot be removed holds one.
const unsigned kBatchNameAttempts = 4;

typedef BOOL(WINAPI* OpenProcessTokenFunction)(HANDLE, DWORD, HANDLE*);
typedef BOOL(WINAPI* GetTokenInformationFunction)(HANDLE, int, void*, DWORD, DWORD*);
typedef BOOL(WINAPI* ConvertSddlFunction)(const char*, DWORD, PSECURITY_DESCRIPTOR*, ULONG*);
const int kTokenElevation = 20;  // TOKEN_INFORMATION_CLASS of Windows Vista

FARPROC Advapi(const char* name) { return GetProcAddress(GetModuleHandleA("advapi32.dll"), name); }

// Whether this process runs with a full administrator's token on NT 6 or later, where an unelevated
// program of the same user runs beside it. Looked up at run time: the 9x family lacks tokens.
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
  FileHandle owner(token);
  DWORD elevated = 0, size = 0;
  return tokenInformation(token, kTokenElevation, &elevated, sizeof elevated, &size) && elevated != 0;
}

// Where the batch file goes. The interpreter reads it line by line for as long as it runs. An elevated
// removal keeps it in the Windows folder's Temp, readable and writable by Administrators and SYSTEM
// alone (`*descriptor`, freed by the caller with LocalFree): in the user's own temporary folder any
// unelevated program of the user could rewrite it and have its lines run elevated. Otherwise the
// interpreter runs with the user's own rights, and the user's temporary folder is the place.
bool BatchFolder(char* folder, size_t size, PSECURITY_DESCRIPTOR* descriptor) {
  *descriptor = nullptr;
  if (RunsElevated()) {
    ConvertSddlFunction convert = reinterpret_cast<ConvertSddlFunction>(
        reinterpret_cast<void*>(Advapi("ConvertStringSecurityDescriptorToSecurityDescriptorA")));
    char windows[kPathSize];
    // Protected: nothing inherited from the folder; full access for SYSTEM and Administrators only.
    if (convert == nullptr || !GetWindowsFolder(windows, sizeof windows) ||
        !convert("D:P(A;;FA;;;SY)(A;;FA;;;BA)", 1, descriptor, nullptr)) {
      return false;
    }
    return JoinPath(folder, size, windows, "Temp");
  }
  return GetTempFolder(folder, size);
}

// A new file with the whole text. Whatever is at the path first (a file, or a link someone planted
// there) is removed, never written through; one that cannot be removed makes this fail.
bool WriteNewBatch(const char* path, const char* text, DWORD length, PSECURITY_DESCRIPTOR descriptor) {
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path);
  SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
  // Never follow a link that appears at the name after the deletion (NT 5 and later know the flag).
  DWORD flags = FILE_ATTRIBUTE_NORMAL | (GetNtMajorVersion() >= 5 ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  DWORD written = 0;
  bool whole;
  {
    FileHandle file(CreateFileA(path, GENERIC_WRITE, 0, descriptor != nullptr ? &security : nullptr, CREATE_NEW,
                                flags, nullptr));
    if (!file.IsValid()) return false;
    whole = WriteFile(file.Get(), text, length, &written, nullptr) && written == length;
  }
  if (!whole) DeleteFileA(path);  // a torn batch file is no batch file
  return whole;
}

// Writes the batch text under the first of its names that can be made new; `batch` gets the path.
bool WriteBatch(const char* program, const char* folder, bool silent, char* batch, int batchSize) {
  char temp[kPathSize];
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  bool placed = BatchFolder(temp, sizeof temp, &descriptor);
  bool written = false;
  static char text[kBatchTextSize];
  for (unsigned attempt = 0; placed && !written && attempt < kBatchNameAttempts; ++attempt) {
    char name[28];
    BatchFileName(name, program, attempt);
    if (!JoinPath(batch, batchSize, temp, name)) break;
    long length = ComposeSelfDeletionBatch(text, sizeof text, GetNtMajorVersion() != 0, program, folder, batch, silent);
    if (length < 0) break;
    written = WriteNewBatch(batch, text, static_cast<DWORD>(length), descriptor);
  }
  if (descriptor != nullptr) LocalFree(descriptor);
  return written;
}

// Starts `command` without a window, from the folder's parent, with this process's id in the
// environment for "/wait". Every handle opened here is closed here; when nothing starts, the current
// directory is `folder` again.
bool StartInterpreter(char* command, const char* folder) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  bool nt = GetNtMajorVersion() != 0;
  // The 9x family's interpreter opens a console window unless its handles go elsewhere; the handles
  // it is given must be inheritable to exist in it at all.
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  FileHandle nul(nt ? INVALID_HANDLE_VALUE
                    : CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr));
  if (nt) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  } else {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.Get();
  }
  char id[16];
  FormatDecimal(id, sizeof id, GetCurrentProcessId());
  SetEnvironmentVariableA(kRemovalProcessVariable, id);
  // Neither this process nor the interpreter, which inherits it, may hold the folder. On NT the
  // interpreter gets no console at all, not a hidden one: under Wine a console starts the desktop's
  // process, which a silent removal otherwise never needs.
  SetCurrentDirectoryA("..");
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, nt ? CREATE_NO_WINDOW : DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &process)) {
    SetCurrentDirectoryA(folder);
    return false;
  }
  FileHandle thread(process.hThread);
  FileHandle started(process.hProcess);
  return true;
}

}  // namespace

bool StartSelfDeletion(const char* program, const char* folder, bool silent) {
  char batch[kPathSize];
  if (!WriteBatch(program, folder, silent, batch, sizeof batch)) return false;
  // On the NT family the system's own cmd.exe: "COMSPEC" is the user's to set, and an elevated removal
  // inherits it. The 9x family's interpreter is the one "COMSPEC" names; without it the command line
  // has no program and nothing starts.
  char interpreter[kPathSize];
  if (GetNtMajorVersion() != 0) {
    char system[kPathSize];
    if (!GetSystemFolder(system, sizeof system) || !JoinPath(interpreter, sizeof interpreter, system, "cmd.exe")) {
      return false;
    }
  } else {
    GetEnvironmentText(interpreter, sizeof interpreter, "COMSPEC");
  }
  char command[2 * kPathSize + 16];
  if (!ComposeInterpreterCommand(command, sizeof command, interpreter, batch)) return false;
  return StartInterpreter(command, folder);
}

bool BatchFolderNamable() {
  char folder[kPathSize];
  return RunsElevated() || GetTempFolder(folder, sizeof folder);
}

bool WaitForRemovalToEnd() {
  char id[16];
  unsigned long pid = 0;
  if (!GetEnvironmentText(id, sizeof id, kRemovalProcessVariable) || !ParseDecimal(id, &pid)) {
    Sleep(2000);
    return false;
  }
  HANDLE removal = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (removal == nullptr) {
    if (GetLastError() == ERROR_INVALID_PARAMETER) return true;  // no such process: it has ended
    Sleep(2000);
    return false;
  }
  FileHandle owner(removal);
  // Its last steps take moments; the bound only keeps a stuck removal from holding the batch file.
  return WaitForSingleObject(removal, 30000) == WAIT_OBJECT_0;
}
