#include "shell/globals.h"

bool SilentMode = false;
HICON DialogIcon = nullptr;
HFONT BoldFont = nullptr;
char GroupFolderToOpen[kPathSize] = "";
