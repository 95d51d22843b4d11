/* Entry point of the resource-only test libraries: they carry no code of their own. */
#include <windows.h>

BOOL WINAPI ResourceDllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
