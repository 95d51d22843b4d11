// The setup dialog "SETUPDLG": the user's integration choices as seventeen check boxes.
#pragma once
#include <windows.h>

#include "platform/paths.h"
#include "setup/settings.h"

// What a confirmed setup hands back to whoever showed the dialog, through the dialog's parameter
// (which may be null): the program group's folder when one was made, empty otherwise.
struct SetupOutcome {
  char groupFolder[kPathSize];
};

// The dialog's result when a silent setup could not get its turn (another setup or removal kept the
// machine-wide lock): nothing was stored or applied.
const long kSetupBusy = 2;

// Ends with 1 when the choices were stored and applied, 0 when the dialog was closed without them,
// kSetupBusy. `lParam` of WM_INITDIALOG: a SetupOutcome, or null.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Takes each choice whose box the dialog has; the others stay as they are in `settings`.
void GetDialogSettings(HWND dialog, IntegrationSettings* settings);
void ShowDialogSettings(HWND dialog, const IntegrationSettings* settings);
void SelectAllTypes(HWND dialog);
void EnableDlgItem(HWND dialog, int id, bool enable);
