#include "setup/setup_dialog.h"

#include <richedit.h>

#include "lang/dialog_translation.h"
#include "lang/messages.h"
#include "platform/run_lock.h"
#include "resources/resource.h"
#include "setup/apply.h"
#include "shell/companions.h"
#include "shell/globals.h"

namespace {

// The six boxes after the types, in the order of the record's fields.
unsigned char IntegrationSettings::*const kOtherFlags[6] = {
    &IntegrationSettings::Desktop,  &IntegrationSettings::StartMenu,    &IntegrationSettings::Programs,
    &IntegrationSettings::ShellExt, &IntegrationSettings::CascadedMenu, &IntegrationSettings::MenuIcons};

void TakeChecked(HWND dialog, int id, unsigned char* flag) {
  if (GetDlgItem(dialog, id) != nullptr) *flag = IsDlgButtonChecked(dialog, id) != 0 ? 1 : 0;
}

// The choices as the boxes show them; a box that the template lacks keeps its stored value.
void ReadChoices(HWND dialog, IntegrationSettings* settings) {
  LoadIntegrationSettings(settings);
  GetDialogSettings(dialog, settings);
}

// One setup or removal at a time. A silent setup that cannot get its turn ends without doing
// anything; the user is told, and the dialog stays open to try again.
void Confirm(HWND dialog) {
  RunLock lock;
  if (!lock.Acquire(kRunLockWait)) {
    if (SilentMode) {
      EndDialog(dialog, kSetupBusy);
    } else {
      char caption[kMessageSize];
      GetWindowTextA(dialog, caption, sizeof caption);
      MessageBoxA(dialog, GetMessageText(IDS_ALREADY_RUNNING), caption, MB_OK | MB_ICONEXCLAMATION);
    }
    return;
  }
  IntegrationSettings settings;
  ReadChoices(dialog, &settings);
  CommitSetup(&settings, GroupFolderToOpen);
  EndDialog(dialog, 1);
}

}  // namespace

void GetDialogSettings(HWND dialog, IntegrationSettings* settings) {
  for (int i = 0; i < kArchiveTypeCount; ++i) TakeChecked(dialog, IDC_TYPE_KVX + i, &settings->types[i]);
  for (int i = 0; i < 6; ++i) TakeChecked(dialog, IDC_DESKTOP + i, &(settings->*kOtherFlags[i]));
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
          ReadChoices(dialog, &scratch);
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
