#include "setup/shell_extension.h"

#include <string.h>
#include <windows.h>

#include "platform/companions.h"
#include "platform/installations.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

const char kClassKey[] = "CLSID\\" KVX_CLSID;
const char kServerKey[] = "CLSID\\" KVX_CLSID "\\InProcServer32";
const char kApprovedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Handler keys named after the class, with an empty default value.
const char* const kClassNamedHandlers[] = {
    "Korvex\\shellex\\ContextMenuHandlers\\" KVX_CLSID,
    "Korvex\\shellex\\PropertySheetHandlers\\" KVX_CLSID,
    "Korvex.ZIP\\shellex\\ContextMenuHandlers\\" KVX_CLSID,
    "Korvex.ZIP\\shellex\\PropertySheetHandlers\\" KVX_CLSID,
    "exefile\\shellex\\PropertySheetHandlers\\" KVX_CLSID,
};
// Keys whose default value names the class.
const char* const kDropHandlers[] = {
    "Korvex\\shellex\\DropHandler",
    "Korvex.ZIP\\shellex\\DropHandler",
};
// Under the shell's common classes: a key "Korvex" whose default value names the class. Removal
// takes the value only, so other handlers' keys beside it are never disturbed.
const char* const kCommonHandlers[] = {
    "*\\shellex\\ContextMenuHandlers\\Korvex",       "Folder\\shellex\\ContextMenuHandlers\\Korvex",
    "Folder\\shellex\\DragDropHandlers\\Korvex",     "Drive\\shellex\\DragDropHandlers\\Korvex",
    "Directory\\shellex\\ContextMenuHandlers\\Korvex", "Directory\\shellex\\DragDropHandlers\\Korvex",
};

void Register() {
  char library[kPathSize];
  // Only an existing library gets its class: the shell would otherwise try to load nothing. Nor
  // one beyond MAX_PATH, which the shell cannot load either.
  if (PathBesideProgram(library, sizeof library, KVX_SHELL_EXTENSION) && strlen(library) < MAX_PATH &&
      GetFileAttributesA(library) != INVALID_FILE_ATTRIBUTES) {
    WriteRegString(HKEY_CLASSES_ROOT, kClassKey, "", "Korvex");
    WriteRegString(HKEY_CLASSES_ROOT, kServerKey, "", library);
    WriteRegString(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel", "Apartment");
  }
  for (const char* key : kClassNamedHandlers) WriteRegString(HKEY_CLASSES_ROOT, key, "", "");
  for (const char* key : kDropHandlers) WriteRegString(HKEY_CLASSES_ROOT, key, "", KVX_CLSID);
  for (const char* key : kCommonHandlers) WriteRegString(HKEY_CLASSES_ROOT, key, "", KVX_CLSID);
  WriteRegString(HKEY_LOCAL_MACHINE, kApprovedKey, KVX_CLSID, "Korvex shell extension");
}

void Unregister() {
  // One key at a time, the subkey first: on the NT family a key with subkeys is not deleted.
  DeleteRegKey(HKEY_CLASSES_ROOT, kServerKey);
  DeleteRegKey(HKEY_CLASSES_ROOT, kClassKey);
  for (const char* key : kClassNamedHandlers) DeleteRegKey(HKEY_CLASSES_ROOT, key);
  for (const char* key : kDropHandlers) DeleteRegKey(HKEY_CLASSES_ROOT, key);
  for (const char* key : kCommonHandlers) DeleteRegValue(HKEY_CLASSES_ROOT, key, "");
  DeleteRegValue(HKEY_LOCAL_MACHINE, kApprovedKey, KVX_CLSID);
}

}  // namespace

void ApplyShellExtension(const IntegrationSettings* settings) {
  if (settings->ShellExt) {
    Register();
  } else {
    Unregister();
  }
}

bool RemoveShellExtension() {
  // The class, its handlers and its approval belong to the installation whose library it loads.
  if (RegNamesAnotherInstallation(HKEY_CLASSES_ROOT, kServerKey, "")) return true;
  Unregister();
  return false;
}
