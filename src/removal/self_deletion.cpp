#include "removal/self_deletion.h"

#include <windows.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/run_log.h"
#include "platform/text.h"
#include "removal/batch_text.h"

namespace {

// The removal's process id, for "/wait" in the batch file: the interpreter and what it starts inherit
// the environment. A process id cannot be taken first by another program, as a fixed name can.
const char kRemovalProcessVariable[] = "KVX_REMOVAL_PROCESS";

// Thirty-one paths (the log's two), each with every "%" doubled, and the fixed text around them.
const int kBatchTextSize = 31 * 2 * (kPathSize + 16) + 512;

// Names tried in turn when a file that cannot be removed holds one.
const unsigned kBatchNameAttempts = 4;

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
    KernelHandle file(CreateFileA(path, GENERIC_WRITE, 0, descriptor != nullptr ? &security : nullptr, CREATE_NEW,
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
  bool placed = GetRunFilesFolder(temp, sizeof temp, &descriptor);
  bool written = false;
  static char text[kBatchTextSize];
  for (unsigned attempt = 0; placed && !written && attempt < kBatchNameAttempts; ++attempt) {
    char name[28];
    BatchFileName(name, program, attempt);
    if (!JoinPath(batch, batchSize, temp, name)) break;
    long length = ComposeSelfDeletionBatch(text, sizeof text, GetNtMajorVersion() != 0, program, folder, batch, silent,
                                           RunLogPath());
    if (length < 0) break;
    written = WriteNewBatch(batch, text, static_cast<DWORD>(length), descriptor);
  }
  if (!written) LogError(placed ? "the batch file could not be written" : "no folder for the batch file", GetLastError());
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
  KernelHandle nul(nt ? INVALID_HANDLE_VALUE
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
  LogStep("interpreter: ", command);
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, nt ? CREATE_NO_WINDOW : DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &process)) {
    LogError("the interpreter did not start", GetLastError());
    SetCurrentDirectoryA(folder);
    return false;
  }
  KernelHandle thread(process.hThread);
  KernelHandle started(process.hProcess);
  return true;
}

}  // namespace

bool StartSelfDeletion(const char* program, const char* folder, bool silent) {
  char batch[kPathSize];
  if (!WriteBatch(program, folder, silent, batch, sizeof batch)) return false;
  LogStep("batch file: ", batch);
  // On the NT family the system's own cmd.exe: "COMSPEC" is the user's to set, and an elevated removal
  // inherits it. The 9x family's interpreter is the one "COMSPEC" names; without it the command line
  // has no program and nothing starts.
  char interpreter[kPathSize];
  if (GetNtMajorVersion() != 0) {
    char system[kPathSize];
    if (!GetSystemFolder(system, sizeof system) || !JoinPath(interpreter, sizeof interpreter, system, "cmd.exe")) {
      LogStep("the system folder cannot be named");
      return false;
    }
  } else {
    GetEnvironmentText(interpreter, sizeof interpreter, "COMSPEC");
  }
  char command[2 * kPathSize + 16];
  if (!ComposeInterpreterCommand(command, sizeof command, interpreter, batch)) {
    LogStep("the interpreter's command line does not fit: ", interpreter);
    return false;
  }
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
  KernelHandle owner(removal);
  // Its last steps take moments; the bound only keeps a stuck removal from holding the batch file.
  return WaitForSingleObject(removal, 30000) == WAIT_OBJECT_0;
}
