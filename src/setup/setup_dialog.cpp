#include "setup/setup_dialog.h"

#include <richedit.h>

#include "lang/dialog_translation.h"
#include "lang/messages.h"
#include "platform/companions.h"
#include "platform/globals.h"
#include "platform/run_lock.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "setup/apply.h"

namespace {

// The boxes after the types, each with the record's field it shows.
const struct {
  int id;
  unsigned char IntegrationSettings::*flag;
} kOtherBoxes[6] = {{IDC_DESKTOP, &IntegrationSettings::Desktop},   {IDC_START_MENU, &IntegrationSettings::StartMenu},
                    {IDC_PROGRAMS, &IntegrationSettings::Programs}, {IDC_SHELL_EXT, &IntegrationSettings::ShellExt},
                    {IDC_CASCADED_MENU, &IntegrationSettings::CascadedMenu},
                    {IDC_MENU_ICONS, &IntegrationSettings::MenuIcons}};

void TakeChecked(HWND dialog, int id, unsigned char* flag) {
  if (GetDlgItem(dialog, id) != nullptr) *flag = IsDlgButtonChecked(dialog, id) != 0 ? 1 : 0;
}

void ShowChecked(HWND dialog, int id, unsigned char flag) {
  CheckDlgButton(dialog, id, flag != 0 ? BST_CHECKED : BST_UNCHECKED);
}

// The choices as the boxes show them; a box that the template lacks keeps its stored value.
void ReadChoices(HWND dialog, IntegrationSettings* settings) {
  LoadIntegrationSettings(settings);
  GetDialogSettings(dialog, settings);
}

// One setup or removal at a time. A silent setup that cannot get its turn ends without doing
// anything; the user is told, and the dialog stays open to try again. A silent setup's commit was
// made before the dialog existed: its result is taken.
void Confirm(HWND dialog) {
  SetupOutcome* outcome = reinterpret_cast<SetupOutcome*>(GetWindowLongA(dialog, DWL_USER));
  SetupStatus status;
  if (outcome != nullptr && outcome->early != nullptr && outcome->early->Started()) {
    status = outcome->early->Finish();
    CopyText(outcome->groupFolder, sizeof outcome->groupFolder, outcome->early->GroupFolder());
  } else {
    IntegrationSettings settings;
    ReadChoices(dialog, &settings);
    status = CommitSetup(&settings, nullptr, outcome != nullptr ? outcome->groupFolder : nullptr,
                         outcome != nullptr ? sizeof outcome->groupFolder : 0);
  }
  if (!SilentMode && (status == SetupStatus::Busy || status == SetupStatus::Failed)) {
    char caption[kMessageSize];
    GetWindowTextA(dialog, caption, sizeof caption);
    const bool busy = status == SetupStatus::Busy;
    MessageBoxA(dialog, GetMessageText(busy ? IDS_ALREADY_RUNNING : IDS_SETUP_FAILED), caption,
                MB_OK | (busy ? MB_ICONEXCLAMATION : MB_ICONERROR));
    if (busy) return;
  }
  EndDialog(dialog, static_cast<INT_PTR>(status));
}

}  // namespace

void GetDialogSettings(HWND dialog, IntegrationSettings* settings) {
  for (int i = 0; i < kArchiveTypeCount; ++i) TakeChecked(dialog, ArchiveTypeTable[i].checkBoxId, &settings->types[i]);
  for (const auto& box : kOtherBoxes) TakeChecked(dialog, box.id, &(settings->*box.flag));
}

void ShowDialogSettings(HWND dialog, const IntegrationSettings* settings) {
  for (int i = 0; i < kArchiveTypeCount; ++i) ShowChecked(dialog, ArchiveTypeTable[i].checkBoxId, settings->types[i]);
  for (const auto& box : kOtherBoxes) ShowChecked(dialog, box.id, settings->*box.flag);
  // The context-menu choices mean something only with the shell integration.
  EnableDlgItem(dialog, IDC_CASCADED_MENU, settings->ShellExt != 0);
  EnableDlgItem(dialog, IDC_MENU_ICONS, settings->ShellExt != 0);
}

void SelectAllTypes(HWND dialog) {
  for (const ArchiveType& type : ArchiveTypeTable) CheckDlgButton(dialog, type.checkBoxId, BST_CHECKED);
}

void EnableDlgItem(HWND dialog, int id, bool enable) { EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE); }

// By its full path: the help viewer would look for a bare name in the current folder first, and the
// setup may have been started anywhere.
void OpenHelp(HWND owner, UINT command, ULONG_PTR data) {
  char help[kPathSize];
  if (PathBesideProgram(help, sizeof help, KVX_HELP_FILE)) WinHelpA(owner, help, command, data);
}

INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  TranslateDialogHook(dialog, message, "SETUPDLG");
  switch (message) {
    case WM_HELP:
      SendMessageA(dialog, WM_COMMAND, IDC_HELP_BUTTON, 0);
      return TRUE;
    case WM_INITDIALOG: {
      SetWindowLongA(dialog, DWL_USER, static_cast<LONG>(lParam));
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
        case IDC_HELP_BUTTON: OpenHelp(dialog, HELP_CONTEXT, KVX_HELP_CONTEXT_SETUP); break;
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
