// State of the whole run: set by the entry, read by the flows and their dialogs.
#pragma once
#include <windows.h>

extern bool SilentMode;            // "/s" ended the command line
extern HICON DialogIcon;           // big icon of both dialogs
extern HFONT BoldFont;             // the completion dialog's thank-you line
