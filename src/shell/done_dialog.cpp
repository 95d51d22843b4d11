#include "shell/done_dialog.h"

#include <shellapi.h>

#include "lang/dialog_translation.h"
#include "platform/companions.h"
#include "platform/globals.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "setup/setup_dialog.h"

namespace {

// Files of the installation folder, which is the program's own: the setup may have been started
// anywhere ("Change" in the list of programs starts it in the system's folder).
void OpenInstalledFile(const char* name) {
  char path[kPathSize];
  if (PathBesideProgram(path, sizeof path, name)) ShellExecuteA(nullptr, "open", path, nullptr, "", SW_SHOWNORMAL);
}

}  // namespace

INT_PTR CALLBACK DoneDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  TranslateDialogHook(dialog, message, "DONEDLG");
  switch (message) {
    case WM_INITDIALOG: {
      SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(DialogIcon));
      SendDlgItemMessageA(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont), FALSE);
      char program[kPathSize];
      char folder[kPathSize];
      if (GetProgramPath(program, sizeof program) && FolderOfPath(folder, sizeof folder, program)) {
        SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder);
      }
      if (SilentMode) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: EndDialog(dialog, 1); break;
        case IDC_RUN_ARCHIVER: {
          char archiver[kPathSize];
          char folder[kPathSize];
          char command[kPathSize + 2];
          // Quoted when it holds a blank: unquoted, "C:\Program Files\..." would first start "C:\Program.exe".
          if (PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE) &&
              FolderOfPath(folder, sizeof folder, archiver)) {
            QuoteCommandPath(command, sizeof command, archiver);
            LaunchCommand(command, folder, 0);
          }
          break;
        }
        case IDC_READ_HELP: OpenHelp(dialog, HELP_FINDER, 0); break;
        case IDC_READ_LICENCE: OpenInstalledFile(KVX_LICENCE); break;
        case IDC_PRICE_LIST: OpenInstalledFile(KVX_PRICE_LIST); break;
        case IDC_WEB_SITE: ShellExecuteA(nullptr, "open", KVX_WEB_SITE, nullptr, "", SW_SHOWNORMAL); break;
        default: break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}
