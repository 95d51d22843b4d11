#include "setup/apply.h"

#include <windows.h>

#include "lang/messages.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/setup_dialog.h"
#include "setup/shell_extension.h"
#include "shell/companions.h"
#include "shell/done_dialog.h"
#include "shell/globals.h"
#include "shell/uninstall_entry.h"

const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe";

void RegisterAppPath() {
  char archiver[kPathSize];
  if (PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE)) {
    WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "", archiver);
  }
  // The folder the setup was started in: the installer starts it in the installation folder.
  char folder[kPathSize];
  DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  if (n > 0 && n < sizeof folder) WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", folder);
}

// The links are saved while the registry is written: neither needs the other.
void ApplySetup(const IntegrationSettings* settings, char* groupFolderToOpen) {
  LinkWork links;
  StartLinks(settings, groupFolderToOpen, &links);
  RegisterAppPath();
  ApplyShellExtension(settings);
  ApplyAssociations(settings);
  RegisterProgIds();
  NotifyAssociationsChanged();  // the handlers and associations just written
  FinishLinks(&links);
}

void CommitSetup(const IntegrationSettings* settings, char* groupFolderToOpen) {
  StoreIntegrationSettings(settings);
  ApplySetup(settings, groupFolderToOpen);
  WriteUninstallEntry();
}

long RunSetupFlow() {
  // A language library without one of the templates does not skip that step: the program's own
  // template is shown instead (translated as usual).
  INT_PTR confirmed = DialogBoxParamA(DialogTemplateModule("SETUPDLG"), "SETUPDLG", nullptr, SetupDlgProc, 0);
  // 0 is a cancelled setup; -1 means the dialog could not even be created. Either way nothing was
  // stored or applied, so there is nothing to report as installed.
  if (confirmed <= 0 || confirmed == kSetupBusy) return static_cast<long>(confirmed);
  DialogBoxParamA(DialogTemplateModule("DONEDLG"), "DONEDLG", nullptr, DoneDlgProc, 0);
  if (GroupFolderToOpen[0] != '\0') {
    ShellExecuteA(nullptr, "open", GroupFolderToOpen, nullptr, "", SW_SHOWNORMAL);
  }
  return static_cast<long>(confirmed);
}
