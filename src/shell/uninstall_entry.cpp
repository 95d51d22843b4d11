#include "shell/uninstall_entry.h"

#include <windows.h>

#include "lang/messages.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "resources/resource.h"

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver";

void WriteUninstallEntry() {
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", GetMessageText(IDS_DISPLAY_NAME));
  char path[kPathSize];
  if (!GetProgramPath(path, sizeof path)) return;  // a cut path would start some other program
  // The list of programs runs this as a command line: quoted when it holds a blank, or
  // "C:\Program Files\..." would first start "C:\Program.exe". The quotes hold no "/", so the
  // program still starts its removal.
  char command[kPathSize + 2];
  QuoteCommandPath(command, sizeof command, path);
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", command);
  // Deployment tools remove programs without any window through this one.
  char quiet[kPathSize + 16];
  if (CopyText(quiet, sizeof quiet, command) && AppendText(quiet, sizeof quiet, " /remove /s")) {
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString", quiet);
  }
}

void DeleteUninstallEntry() { DeleteRegKey(HKEY_LOCAL_MACHINE, kUninstallKey); }
