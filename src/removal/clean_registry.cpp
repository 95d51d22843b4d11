#include "removal/clean_registry.h"

#include <shlobj.h>
#include <windows.h>

#include "platform/registry.h"
#include "platform/run_log.h"
#include "setup/apply.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/shell_extension.h"
#include "setup/uninstall_entry.h"

namespace {

// `kept`, logged when true: what another installation still names.
bool KeptFor(const char* what, bool kept) {
  if (kept) LogStep("kept for another installation: ", what);
  return kept;
}

}  // namespace

void CleanIntegration() {
  // What names another installation of the archiver (a copy set up since in another folder) stays
  // for that copy's removal: the ProgIDs are judged first, since their extensions go before them.
  bool progIdKept = IsAnotherInstallationsProgId(kProgId);
  bool zipProgIdKept = IsAnotherInstallationsProgId(kZipProgId);
  // Each area takes its own things back. The associations go first, while the own key still holds
  // their previous owners.
  ReleaseAssociations(progIdKept, zipProgIdKept);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  bool kept = KeptFor("the shell extension", RemoveShellExtension());
  kept = KeptFor("links", RemoveLinks()) || kept;
  if (!KeptFor(kProgId, progIdKept)) DeleteRegTree(HKEY_CLASSES_ROOT, kProgId);
  if (!KeptFor(kZipProgId, zipProgIdKept)) DeleteRegTree(HKEY_CLASSES_ROOT, kZipProgId);
  kept = KeptFor("App Paths", RemoveAppPath()) || kept;
  // The own key last, and only once no other installation is registered: that one's removal needs
  // the previous owners recorded here to give the file types back.
  if (!kept && !progIdKept && !zipProgIdKept && !KeptFor("the settings (its uninstall entry names it)", IsAnotherInstallationsUninstallEntry())) {
    DeleteRegTree(HKEY_CURRENT_USER, kOwnKey);
  }
}
