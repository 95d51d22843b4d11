// Applies the user's choices to the system: the registry in a fixed order, the links meanwhile.
#pragma once
#include "setup/settings.h"

extern const char kAppPathKey[];  // under HKEY_LOCAL_MACHINE

// `groupFolderToOpen` (kPathSize bytes) receives the program group's folder when one is made.
void ApplySetup(const IntegrationSettings* settings, char* groupFolderToOpen);

// A confirmed setup: stores the choices, applies them and records the archiver in the system's
// list of installed programs.
void CommitSetup(const IntegrationSettings* settings, char* groupFolderToOpen);

// The App Paths entry of "Korvex.exe", so the shell starts the archiver by its name alone.
void RegisterAppPath();

// The setup dialog's result when a silent setup could not get its turn (another setup or removal
// kept the machine-wide lock): nothing was stored or applied.
const long kSetupBusy = 2;

// The setup dialog, then, when it was confirmed, the completion dialog and the program group's
// folder. Returns the setup dialog's result (1 confirmed, 0 cancelled, -1 not shown, kSetupBusy).
long RunSetupFlow();
