#include "removal/self_deletion.h"

#include <windows.h>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "removal/batch_text.h"

namespace {

// Owned by the removal's process until it ends. The interpreter and what it starts inherit a handle,
// which keeps the object alive for "/wait" to find.
const char kRemovalMutex[] = "Korvex.Uninstall.Removal";

// Nineteen paths, each with every "%" doubled, and the fixed text around them.
const int kBatchTextSize = 19 * 2 * kPathSize + 512;

}  // namespace

void StartSelfDeletion(const char* program, const char* folder, bool silent) {
  char temp[kPathSize];
  char batch[kPathSize];
  DWORD n = GetTempPathA(sizeof temp, temp);
  if (n == 0 || n >= sizeof temp || !JoinPath(batch, sizeof batch, temp, "Uninstall.Kvx.Bat")) return;

  bool nt = GetNtMajorVersion() != 0;
  static char text[kBatchTextSize];
  long length = ComposeSelfDeletionBatch(text, sizeof text, nt, program, folder, batch, silent);
  if (length < 0 || !WriteWholeFile(batch, text, static_cast<unsigned long>(length), true)) return;

  // No "COMSPEC" leaves the command line without a program: nothing starts, and the batch file
  // stays behind.
  char interpreter[kPathSize] = "";
  n = GetEnvironmentVariableA("COMSPEC", interpreter, sizeof interpreter);
  if (n >= sizeof interpreter) interpreter[0] = '\0';
  char command[2 * kPathSize + 8];
  CopyText(command, sizeof command, interpreter);
  AppendText(command, sizeof command, " /c \"");
  AppendText(command, sizeof command, batch);
  AppendText(command, sizeof command, "\"");

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  HANDLE nul = INVALID_HANDLE_VALUE;
  if (nt) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  } else {
    // The 9x family's interpreter opens a console window unless its handles go elsewhere.
    nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  }
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  CreateMutexA(&inherited, TRUE, kRemovalMutex);
  // Neither this process nor the interpreter, which inherits it, may hold the folder.
  SetCurrentDirectoryA("..");
  PROCESS_INFORMATION process;
  if (CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, nt ? 0 : DETACHED_PROCESS, nullptr, nullptr, &startup,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  ExitProcess(0);
}

void WaitForRemovalToEnd() {
  HANDLE removal = OpenMutexA(SYNCHRONIZE, FALSE, kRemovalMutex);
  if (removal == nullptr) {
    Sleep(2000);
    return;
  }
  WaitForSingleObject(removal, 2000);  // signalled (abandoned) when the removal's process ends
  CloseHandle(removal);
}
