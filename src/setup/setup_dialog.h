// The setup dialog "SETUPDLG": the user's integration choices as seventeen check boxes.
#pragma once
#include <windows.h>

#include "platform/paths.h"
#include "setup/apply.h"
#include "setup/settings.h"

// The dialog's parameter (which may be null). `early`: a silent setup's commit already under way,
// whose result the dialog takes, or null. `groupFolder` comes back with the program group's folder
// when a confirmed setup made one, empty otherwise.
struct SetupOutcome {
  EarlyCommit* early;
  char groupFolder[kPathSize];
};

// Ends with a SetupStatus: Done, Failed, Busy (silent setups only: an interactive one stays open),
// Cancelled when closed without the choices. `lParam` of WM_INITDIALOG: a SetupOutcome, or null.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Takes each choice whose box the dialog has; the others stay as they are in `settings`.
void GetDialogSettings(HWND dialog, IntegrationSettings* settings);
void ShowDialogSettings(HWND dialog, const IntegrationSettings* settings);
void SelectAllTypes(HWND dialog);
void EnableDlgItem(HWND dialog, int id, bool enable);
// The archiver's help file, beside the program; `command` and `data` as WinHelp takes them.
void OpenHelp(HWND owner, UINT command, ULONG_PTR data);
