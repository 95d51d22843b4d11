// The entry: prepares what the dialogs share, reads the command line and runs one flow.
#include <windows.h>

#include "lang/language.h"
#include "lang/messages.h"
#include "removal/uninstall.h"
#include "setup/setup_dialog.h"
#include "shell/command_line.h"
#include "shell/done_dialog.h"
#include "shell/globals.h"
#include "shell/warning.h"

bool SilentMode = false;
HICON DialogIcon = nullptr;
HFONT BoldFont = nullptr;
char GroupFolderToOpen[kPathSize] = "";

static void RunSetupFlow() {
  INT_PTR confirmed = DialogBoxParamA(CurrentResourceModule(), "SETUPDLG", nullptr, SetupDlgProc, 0);
  // -1 means the dialog could not even be created: nothing was stored or applied, so there is
  // nothing to report as installed.
  if (confirmed <= 0) return;
  DialogBoxParamA(CurrentResourceModule(), "DONEDLG", nullptr, DoneDlgProc, 0);
  if (GroupFolderToOpen[0] != '\0') {
    ShellExecuteA(nullptr, "open", GroupFolderToOpen, nullptr, "", SW_SHOWNORMAL);
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  LoadLanguageLibrary(instance);
  LoadLanguageFile("uninstall.lng");
  OleInitialize(nullptr);  // best effort: without COM only the links are missed
  HMODULE richEdit = LoadLibraryA("riched32.dll");
  DialogIcon = LoadIconA(CurrentResourceModule(), "KVXICON");
  BoldFont = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");

  ParsedCommandLine parsed = ParseCommandLine(commandLine != nullptr ? commandLine : "");
  SilentMode = parsed.silent;
  switch (parsed.option) {
    case CommandOption::Removal: UninstallArchiver(); break;
    case CommandOption::Setup: RunSetupFlow(); break;
    case CommandOption::Wait: Sleep(2000); break;
    case CommandOption::Warning: ShowRemovalWarning(); break;
    case CommandOption::None: break;
  }

  if (richEdit != nullptr) FreeLibrary(richEdit);
  OleUninitialize();
  if (BoldFont != nullptr) DeleteObject(BoldFont);
  return 0;
}
