#pragma once
#include <windows.h>

// The setup dialog "SETUPDLG": ends with 1 when the choices were applied, 0 when cancelled.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
