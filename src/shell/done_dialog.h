#pragma once
#include <windows.h>

// The completion dialog "DONEDLG"; always ends with 1.
INT_PTR CALLBACK DoneDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
