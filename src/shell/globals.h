// State shared by the flows and the dialogs for the whole run.
#pragma once
#include <windows.h>

#include "platform/paths.h"

extern bool SilentMode;            // "/s" ended the command line
extern HICON DialogIcon;           // big icon of both dialogs
extern HFONT BoldFont;             // the completion dialog's thank-you line
extern char GroupFolderToOpen[kPathSize];  // program group made by the setup, opened at the end
