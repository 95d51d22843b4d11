#include "setup/apply.h"

#include <windows.h>

#include "platform/companions.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/shell_extension.h"
#include "setup/uninstall_entry.h"

const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe";

void RegisterAppPath() {
  char archiver[kPathSize];
  if (PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE)) {
    WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "", archiver);
  }
  // The folder the setup was started in: the installer starts it in the installation folder.
  char folder[kPathSize];
  if (GetCurrentFolder(folder, sizeof folder)) WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", folder);
}

// The links are saved while the registry is written: neither needs the other.
void ApplySetup(const IntegrationSettings* settings, char* groupFolder, size_t size) {
  LinkWork links;
  StartLinks(settings, groupFolder, size, &links);
  RegisterAppPath();
  ApplyShellExtension(settings);
  ApplyAssociations(settings);
  RegisterProgIds();
  NotifyAssociationsChanged();  // the handlers and associations just written
  links.Finish();
}

void CommitSetup(const IntegrationSettings* settings, char* groupFolder, size_t size) {
  StoreIntegrationSettings(settings);
  ApplySetup(settings, groupFolder, size);
  WriteUninstallEntry();
}
