/* callprobe: a known sequence of calls for killcall's self-check, in its working folder:
 *   1 CreateFileA   probe-1.txt  (made)
 *   2 CreateFileA   probe-2.txt  (made, on a second thread)
 *   3 MoveFileExA   probe-2.txt  to probe-3.txt (looked up with GetProcAddress, as the program
 *                                looks up what older systems lack)
 *   4 DeleteFileA   probe-1.txt
 * then exit code 7. */
#include <windows.h>

static void make(const char *name) {
    HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

static DWORD WINAPI second(LPVOID unused) {
    (void)unused;
    make("probe-2.txt");
    return 0;
}

int main(void) {
    make("probe-1.txt");
    HANDLE thread = CreateThread(NULL, 0, second, NULL, 0, NULL);
    if (!thread) return 1;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    BOOL(WINAPI * move)(LPCSTR, LPCSTR, DWORD) = (BOOL(WINAPI *)(LPCSTR, LPCSTR, DWORD))(void (*)(void))GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "MoveFileExA");
    if (!move || !move("probe-2.txt", "probe-3.txt", MOVEFILE_REPLACE_EXISTING)) return 2;
    DeleteFileA("probe-1.txt");
    return 7;
}
