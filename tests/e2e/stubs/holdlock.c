/* holdlock NAME RELEASE TIMEOUT_MS: creates and owns the named mutex NAME, as a running setup or
 * removal owns its lock, creates RELEASE.held once it owns it, and keeps it until the file RELEASE
 * exists or the time is over. Exit code: 0 released, 1 NAME is another's, 2 timed out. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    if (argc != 4) return 3;
    HANDLE lock = CreateMutexA(NULL, TRUE, argv[1]);
    if (lock == NULL) return 1;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        DWORD got = WaitForSingleObject(lock, 0);
        if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) return 1;
    }
    char held[MAX_PATH + 8];
    _snprintf(held, sizeof held, "%s.held", argv[2]);
    held[sizeof held - 1] = 0;
    HANDLE h = CreateFileA(held, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    DWORD limit = (DWORD)strtoul(argv[3], NULL, 10);
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) {
            ReleaseMutex(lock);
            return 0;
        }
        Sleep(50);
    }
    ReleaseMutex(lock);
    return 2;
}
