#include "setup/setup_dialog.h"

#include <richedit.h>

#include "lang/dialog_translation.h"
#include "resources/resource.h"
#include "setup/apply.h"
#include "shell/companions.h"
#include "shell/globals.h"
#include "shell/uninstall_entry.h"

namespace {

// The six boxes after the types, in the order of the record's fields.
unsigned char IntegrationSettings::*const kOtherFlags[6] = {
    &IntegrationSettings::Desktop,  &IntegrationSettings::StartMenu,    &IntegrationSettings::Programs,
    &IntegrationSettings::ShellExt, &IntegrationSettings::CascadedMenu, &IntegrationSettings::MenuIcons};

unsigned char Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) != 0 ? 1 : 0; }

void Confirm(HWND dialog) {
  IntegrationSettings settings;
  GetDialogSettings(dialog, &settings);
  StoreIntegrationSettings(&settings);
  ApplySetup(&settings, GroupFolderToOpen);
  WriteUninstallEntry();
  EndDialog(dialog, 1);
}

}  // namespace

void GetDialogSettings(HWND dialog, IntegrationSettings* settings) {
  for (int i = 0; i < kArchiveTypeRoom; ++i) settings->types[i] = 0;
  for (int i = 0; i < kArchiveTypeCount; ++i) settings->types[i] = Checked(dialog, IDC_TYPE_KVX + i);
  for (int i = 0; i < 6; ++i) settings->*kOtherFlags[i] = Checked(dialog, IDC_DESKTOP + i);
}

void ShowDialogSettings(HWND dialog, const IntegrationSettings* settings) {
  for (int i = 0; i < kArchiveTypeCount; ++i) CheckDlgButton(dialog, IDC_TYPE_KVX + i, settings->types[i] ? BST_CHECKED : BST_UNCHECKED);
  for (int i = 0; i < 6; ++i) CheckDlgButton(dialog, IDC_DESKTOP + i, settings->*kOtherFlags[i] ? BST_CHECKED : BST_UNCHECKED);
  // The context-menu choices mean something only with the shell integration.
  EnableDlgItem(dialog, IDC_CASCADED_MENU, settings->ShellExt != 0);
  EnableDlgItem(dialog, IDC_MENU_ICONS, settings->ShellExt != 0);
}

void SelectAllTypes(HWND dialog) {
  for (int i = 0; i < kArchiveTypeCount; ++i) CheckDlgButton(dialog, IDC_TYPE_KVX + i, BST_CHECKED);
}

void EnableDlgItem(HWND dialog, int id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE); }

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  TranslateDialogHook(dialog, message, "SETUPDLG");
  switch (message) {
    case WM_HELP:
      SendMessageA(dialog, WM_COMMAND, IDC_HELP_BUTTON, 0);
      return TRUE;
    case WM_INITDIALOG: {
      IntegrationSettings settings;
      LoadIntegrationSettings(&settings);
      ShowDialogSettings(dialog, &settings);
      SetForegroundWindow(dialog);
      SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(DialogIcon));
      SendDlgItemMessageA(dialog, IDC_EXPLANATION, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));
      if (SilentMode) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: Confirm(dialog); break;
        case IDCANCEL: EndDialog(dialog, 0); break;
        case IDC_HELP_BUTTON: WinHelpA(dialog, KVX_HELP_FILE, HELP_CONTEXT, KVX_HELP_CONTEXT_SETUP); break;
        case IDC_SHELL_EXT: {
          IntegrationSettings scratch;
          GetDialogSettings(dialog, &scratch);
          ShowDialogSettings(dialog, &scratch);
          break;
        }
        case IDC_SELECT_ALL: SelectAllTypes(dialog); break;
        default: break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}
