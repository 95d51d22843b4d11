#include "removal/clean_registry.h"

#include <shlobj.h>
#include <windows.h>

#include "platform/registry.h"
#include "setup/apply.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/shell_extension.h"
#include "setup/uninstall_entry.h"

void CleanIntegration() {
  // What names another installation of the archiver (a copy set up since in another folder) stays
  // for that copy's removal: the ProgIDs are judged first, since their extensions go before them.
  bool progIdKept = IsAnotherInstallationsProgId(kProgId);
  bool zipProgIdKept = IsAnotherInstallationsProgId(kZipProgId);
  // Each area takes its own things back. The associations go first, while the own key still holds
  // their previous owners.
  ReleaseAssociations(progIdKept, zipProgIdKept);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  bool kept = RemoveShellExtension();
  kept = RemoveLinks() || kept;
  if (!progIdKept) DeleteRegTree(HKEY_CLASSES_ROOT, kProgId);
  if (!zipProgIdKept) DeleteRegTree(HKEY_CLASSES_ROOT, kZipProgId);
  kept = RemoveAppPath() || kept;
  // The own key last, and only once no other installation is registered: that one's removal needs
  // the previous owners recorded here to give the file types back.
  if (!kept && !progIdKept && !zipProgIdKept && !IsAnotherInstallationsUninstallEntry()) {
    DeleteRegTree(HKEY_CURRENT_USER, "");
  }
}

void CleanRegistry() {
  CleanIntegration();
  DeleteUninstallEntry();
}
