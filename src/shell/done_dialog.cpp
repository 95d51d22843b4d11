#include "shell/done_dialog.h"

#include <shellapi.h>

#include "lang/dialog_translation.h"
#include "platform/companions.h"
#include "platform/globals.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/resource.h"

namespace {

// A file of the installation folder, which is the current directory the setup was started in.
bool InstalledFile(char* path, size_t size, const char* name) {
  char folder[kPathSize];
  return GetCurrentFolder(folder, sizeof folder) && JoinPath(path, size, folder, name);
}

void OpenInstalledFile(const char* name) {
  char path[kPathSize];
  if (InstalledFile(path, sizeof path, name)) ShellExecuteA(nullptr, "open", path, nullptr, "", SW_SHOWNORMAL);
}

}  // namespace

INT_PTR CALLBACK DoneDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  TranslateDialogHook(dialog, message, "DONEDLG");
  switch (message) {
    case WM_INITDIALOG: {
      SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(DialogIcon));
      SendDlgItemMessageA(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont), FALSE);
      char folder[kPathSize];
      if (GetCurrentFolder(folder, sizeof folder)) SetDlgItemTextA(dialog, IDC_INSTALL_FOLDER, folder);
      if (SilentMode) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL: EndDialog(dialog, 1); break;
        case IDC_RUN_ARCHIVER: {
          char archiver[kPathSize];
          char command[kPathSize + 2];
          // Quoted when it holds a blank: unquoted, "C:\Program Files\..." would first start "C:\Program.exe".
          if (InstalledFile(archiver, sizeof archiver, KVX_ARCHIVER_EXE)) {
            QuoteCommandPath(command, sizeof command, archiver);
            LaunchCommand(command, nullptr, 0);
          }
          break;
        }
        case IDC_READ_HELP: WinHelpA(dialog, KVX_HELP_FILE, HELP_FINDER, 0); break;
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
