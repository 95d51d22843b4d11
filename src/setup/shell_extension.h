// Registration of the archiver's shell extension "kvxext.dll" (context menus, property pages, drop
// and drag-and-drop handlers).
#pragma once
#include "setup/settings.h"

void ApplyShellExtension(const IntegrationSettings* settings);
// The removal's part: everything goes, unless the class's server is another installation's library;
// then all of it stays. True when it stayed.
bool RemoveShellExtension();
