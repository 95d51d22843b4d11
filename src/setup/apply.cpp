#include "setup/apply.h"

#include <windows.h>

#include "platform/registry.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/shell_extension.h"
#include "shell/companions.h"

static const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe";

void RegisterAppPath() {
  char archiver[1024];
  if (CompanionPath(KVX_ARCHIVER_EXE, archiver, sizeof archiver)) {
    WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "", archiver);
  }
  // The folder the setup was started in: the installer starts it in the installation folder.
  char folder[1024];
  DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  if (n > 0 && n < sizeof folder) WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", folder);
}

void ApplySetup(const IntegrationSettings* settings, char* groupFolderToOpen) {
  RegisterAppPath();
  ApplyShellExtension(settings);
  ApplyAssociations(settings);
  RegisterProgIds();  // also tells the shell about the handlers and associations just written
  ApplyLinks(settings, groupFolderToOpen);
}
