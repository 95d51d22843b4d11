/* Reference for the removal benchmark: the cheapest Win32 removal of an installation folder.
 * delete_list.exe FOLDER deletes the entries of FOLDER\Uninstall.lst last-first (DeleteFileA, and
 * RemoveDirectoryA for what is not a file), then the list and the folder. One call per entry when
 * the list names folders before what they hold. Exit code: entries that stayed (at most 255). */
#include <windows.h>

enum { kPath = MAX_PATH, kMaxList = 64 * 1024 * 1024 };

static int Join(char* out, const char* folder, const char* name) {
  int a = lstrlenA(folder), b = lstrlenA(name);
  if (a + 1 + b + 1 > kPath) return 0;
  lstrcpyA(out, folder);
  out[a] = '\\';
  lstrcpyA(out + a + 1, name);
  return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  char folder[kPath], path[kPath];
  (void)instance;
  (void)previous;
  (void)show;
  while (*commandLine == ' ') ++commandLine;
  if (lstrlenA(commandLine) >= kPath || *commandLine == '\0') return 255;
  lstrcpyA(folder, commandLine);
  if (!Join(path, folder, "Uninstall.lst")) return 255;

  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return 255;
  DWORD size = GetFileSize(file, NULL), got = 0;
  char* text = size < kMaxList ? (char*)HeapAlloc(GetProcessHeap(), 0, size + 1) : NULL;
  if (text == NULL || !ReadFile(file, text, size, &got, NULL) || got != size) return 255;
  CloseHandle(file);
  text[size] = '\0';

  DWORD lines = 1;
  for (DWORD i = 0; i < size; ++i) lines += text[i] == '\n';
  char** entries = (char**)HeapAlloc(GetProcessHeap(), 0, lines * sizeof(char*));
  if (entries == NULL) return 255;
  DWORD count = 0;
  for (char* p = text; *p != '\0' && count < lines;) {
    char* end = p;
    while (*end != '\0' && *end != '\n') ++end;
    char* next = *end == '\n' ? end + 1 : end;
    while (end > p && (end[-1] == '\r' || end[-1] == '\n')) --end;
    *end = '\0';
    if (end > p) entries[count++] = p;
    p = next;
  }

  int stayed = 0;
  for (DWORD i = count; i-- > 0;) {
    if (!Join(path, folder, entries[i]) || !(DeleteFileA(path) || RemoveDirectoryA(path))) ++stayed;
  }
  Join(path, folder, "Uninstall.lst");
  DeleteFileA(path);
  RemoveDirectoryA(folder);
  return stayed > 255 ? 255 : stayed;
}
