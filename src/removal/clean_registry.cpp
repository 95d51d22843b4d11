#include "removal/clean_registry.h"

#include <shlobj.h>
#include <windows.h>

#include "platform/registry.h"
#include "setup/apply.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/settings.h"
#include "setup/shell_extension.h"
#include "setup/uninstall_entry.h"

void CleanIntegration() {
  // Each area takes its own things back when nothing is chosen. The associations go first, while
  // the own key still holds their previous owners.
  ApplyAssociations(&kNothingChosen);
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  ApplyShellExtension(&kNothingChosen);
  ApplyLinks(&kNothingChosen, nullptr, 0);
  DeleteRegTree(HKEY_CLASSES_ROOT, kProgId);
  DeleteRegTree(HKEY_CLASSES_ROOT, kZipProgId);
  DeleteRegKey(HKEY_LOCAL_MACHINE, kAppPathKey);
  DeleteRegTree(HKEY_CURRENT_USER, "");  // the own key, last
}

void CleanRegistry() {
  CleanIntegration();
  DeleteUninstallEntry();
}
