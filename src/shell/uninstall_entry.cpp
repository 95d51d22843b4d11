#include "shell/uninstall_entry.h"

#include <windows.h>

#include "lang/messages.h"
#include "platform/registry.h"
#include "resources/resource.h"

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver";

void WriteUninstallEntry() {
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", GetMessageText(IDS_DISPLAY_NAME));
  char path[1024];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return;  // a cut path would start some other program
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", path);
}
