// Registration of the archiver's shell extension "kvxext.dll" (context menus, property pages, drop
// and drag-and-drop handlers).
#pragma once
#include "setup/settings.h"

void ApplyShellExtension(const IntegrationSettings* settings);
