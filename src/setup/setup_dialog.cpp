#include "setup/setup_dialog.h"

// The choices, their storage and the apply steps come with the integration engine; until then the
// dialog procedure leaves every message to the dialog manager.
INT_PTR CALLBACK SetupDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
