// The entry: prepares what the dialogs share, reads the command line and runs one flow.
#include <windows.h>

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/exit_codes.h"
#include "removal/self_deletion.h"
#include "removal/uninstall.h"
#include "setup/apply.h"
#include "shell/command_line.h"
#include "shell/globals.h"
#include "shell/warning.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  // Read first: a silent run must never show a box, not even while the language loads.
  ParsedCommandLine parsed = ParseCommandLine(commandLine != nullptr ? commandLine : "");
  SilentMode = parsed.silent;

  LoadLanguageLibrary(instance);
  LoadLanguageFile("uninstall.lng");
  OleInitialize(nullptr);  // best effort: without COM only the links are missed
  HMODULE richEdit = LoadLibraryA("riched32.dll");
  DialogIcon = LoadIconA(CurrentResourceModule(), "KVXICON");
  BoldFont = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");

  int exitCode = kExitDone;  // only silent runs report failures
  switch (parsed.option) {
    case CommandOption::Removal: UninstallArchiver(false); break;
    case CommandOption::Remove: exitCode = UninstallArchiver(SilentMode); break;
    case CommandOption::Setup:
      if (RunSetupFlow() == kSetupBusy && SilentMode) exitCode = kExitAlreadyRunning;
      break;
    case CommandOption::Wait:
      if (WaitForRemovalToEnd()) FinishInterruptedRemoval();
      break;
    case CommandOption::Warning:
      // Silent: no one may be there to read a box, and the interpreter would wait for it.
      if (SilentMode) {
        DeleteProgramAtRestart();
      } else {
        ShowRemovalWarning();
      }
      break;
    case CommandOption::None: break;
  }

  if (richEdit != nullptr) FreeLibrary(richEdit);
  OleUninitialize();
  if (BoldFont != nullptr) DeleteObject(BoldFont);
  return exitCode;
}
