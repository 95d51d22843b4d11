// Applies the user's choices to the system, in a fixed order.
#pragma once
#include "setup/settings.h"

// `groupFolderToOpen` (1024 bytes) receives the program group's folder when one is made.
void ApplySetup(const IntegrationSettings* settings, char* groupFolderToOpen);

// The App Paths entry of "Korvex.exe", so the shell starts the archiver by its name alone.
void RegisterAppPath();
