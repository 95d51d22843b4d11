/* holdfile PATH RELEASE TIMEOUT_MS: opens PATH for reading, sharing reading only (so it can be
 * neither deleted nor written, while a program file can still be started), creates RELEASE.held
 * once it holds it, and keeps it until the file RELEASE exists or the time is over.
 * Exit code: 0 released, 1 could not open PATH, 2 timed out. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    if (argc != 4) return 3;
    HANDLE f = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return 1;
    char held[MAX_PATH + 8];
    _snprintf(held, sizeof held, "%s.held", argv[2]);
    held[sizeof held - 1] = 0;
    HANDLE h = CreateFileA(held, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    DWORD limit = (DWORD)strtoul(argv[3], NULL, 10);
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) {
            CloseHandle(f);
            return 0;
        }
        Sleep(50);
    }
    CloseHandle(f);
    return 2;
}
