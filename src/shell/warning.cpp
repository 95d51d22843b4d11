#include "shell/warning.h"

#include <string.h>
#include <windows.h>

#include "lang/messages.h"
#include "platform/globals.h"
#include "platform/text.h"
#include "resources/resource.h"

void ComposeWarningText(char* dst, size_t size, const char* first, const char* second, const char* path) {
  CopyText(dst, size, first);
  AppendText(dst, size, "\n");
  size_t used = strlen(dst);
  FormatOneString(dst + used, size - used, second, path);
}

void ShowRemovalWarning() {
  char path[kPathSize];
  GetProgramPath(path, sizeof path);
  char text[kWarningTextSize];
  ComposeWarningText(text, sizeof text, GetMessageText(IDS_REMOVAL_DONE), GetMessageText(IDS_DELETE_BY_HAND), path);
  MessageBoxA(nullptr, text, GetMessageText(IDS_REMOVE_CAPTION), MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}
