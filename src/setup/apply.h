// Applies the user's choices to the system: the registry in a fixed order, the links meanwhile.
#pragma once
#include <stddef.h>

#include "setup/settings.h"

extern const char kAppPathKey[];  // under HKEY_LOCAL_MACHINE

// `groupFolder` (of `size` bytes; may be null) receives the program group's folder when one is made.
void ApplySetup(const IntegrationSettings* settings, char* groupFolder, size_t size);

// A confirmed setup: stores the choices, applies them and records the archiver in the system's
// list of installed programs.
void CommitSetup(const IntegrationSettings* settings, char* groupFolder, size_t size);

// The App Paths entry of "Korvex.exe", so the shell starts the archiver by its name alone.
void RegisterAppPath();
