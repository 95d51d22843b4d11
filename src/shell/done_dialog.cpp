#include "shell/done_dialog.h"

// Its template and actions arrive with the setup dialog.
INT_PTR CALLBACK DoneDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
