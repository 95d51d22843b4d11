#include "engine_support.h"

#include <stdio.h>
#include <windows.h>

#include "registry_support.h"
#include "win_support.h"

const char* const kAllExtensions[18] = {".kvx", ".zip", ".cab", ".arj", ".lzh",  ".lha", ".ace", ".tar",
                                        ".gz",  ".tgz", ".uue", ".xxe", ".uu",   ".bz2", ".tbz2", ".bz",
                                        ".tbz", ".jar"};

std::string VolumeName(int number) {
  char name[8];
  snprintf(name, sizeof name, ".k%02d", number);
  return name;
}

std::string OwnSetupKey(const std::string& extension) { return "Software\\Korvex\\Setup\\" + extension; }

void ResetIntegrationState() {
  for (const char* ext : kAllExtensions) RemoveTree(HKEY_CLASSES_ROOT, ext);
  for (int i = 0; i < 100; ++i) RemoveTree(HKEY_CLASSES_ROOT, VolumeName(i));
  RemoveTree(HKEY_CURRENT_USER, "Software\\Korvex");
  RemoveTree(HKEY_CLASSES_ROOT, "Korvex");
  RemoveTree(HKEY_CLASSES_ROOT, "Korvex.ZIP");
  RemoveTree(HKEY_CLASSES_ROOT, "CLSID\\{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}");
  for (const char* cls : {"*", "Folder", "Drive", "Directory", "exefile"}) {
    for (const char* kind : {"ContextMenuHandlers", "DragDropHandlers", "PropertySheetHandlers"}) {
      RemoveTree(HKEY_CLASSES_ROOT, std::string(cls) + "\\shellex\\" + kind + "\\Korvex");
      RemoveTree(HKEY_CLASSES_ROOT, std::string(cls) + "\\shellex\\" + kind + "\\{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}");
    }
  }
  RemoveTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe");
  RemoveTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver");
  HKEY approved;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", 0,
                    KEY_WRITE, &approved) == ERROR_SUCCESS) {
    RegDeleteValueA(approved, "{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}");
    RegCloseKey(approved);
  }
  std::string folder = ExeFolder();
  for (const char* file : {"kvxnew.dat", "zipnew.dat", "kvxext.dll"}) DeleteFileA((folder + file).c_str());
}
