/* Reference (b): only what Uninstall.exe must do before reading its command line, then return. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)previous;
  (void)commandLine;
  (void)show;
  OleInitialize(NULL);
  HMODULE richEdit = LoadLibraryA("riched32.dll");
  HICON icon = LoadIconA(instance, "KVXICON");
  HFONT font = CreateFontA(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  (void)icon;
  if (richEdit != NULL) FreeLibrary(richEdit);
  OleUninitialize();
  if (font != NULL) DeleteObject(font);
  return 0;
}
