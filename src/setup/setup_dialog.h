// The setup dialog "SETUPDLG": the user's integration choices as seventeen check boxes.
#pragma once
#include <windows.h>

#include "setup/settings.h"

// Ends with 1 when the choices were stored and applied, 0 when the dialog was closed without them.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Takes each choice whose box the dialog has; the others stay as they are in `settings`.
void GetDialogSettings(HWND dialog, IntegrationSettings* settings);
void ShowDialogSettings(HWND dialog, const IntegrationSettings* settings);
void SelectAllTypes(HWND dialog);
void EnableDlgItem(HWND dialog, int id, bool enable);
