/* holdfile PATH RELEASE TIMEOUT_MS [ACCESS SHARE]: opens PATH for reading, sharing reading only (so
 * it can be neither deleted nor written, while a program file can still be started), or with the
 * given access and share mode (numbers, "0x" for hexadecimal). PATH "mutex:NAME" instead creates and
 * owns the named mutex NAME, as a running setup or removal owns its lock. Creates RELEASE.held once
 * it holds it, and keeps it until the file RELEASE exists or the time is over.
 * Exit code: 0 released, 1 could not open PATH (or NAME is another's), 2 timed out. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HANDLE hold(int argc, char **argv) {
    if (strncmp(argv[1], "mutex:", 6) == 0) {
        HANDLE lock = CreateMutexA(NULL, TRUE, argv[1] + 6);
        if (lock != NULL && GetLastError() == ERROR_ALREADY_EXISTS) {
            DWORD got = WaitForSingleObject(lock, 0);
            if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) {
                CloseHandle(lock);
                return NULL;
            }
        }
        return lock;
    }
    DWORD access = argc == 6 ? (DWORD)strtoul(argv[4], NULL, 0) : GENERIC_READ;
    DWORD share = argc == 6 ? (DWORD)strtoul(argv[5], NULL, 0) : FILE_SHARE_READ;
    HANDLE f = CreateFileA(argv[1], access, share, NULL, OPEN_EXISTING, 0, NULL);
    return f == INVALID_HANDLE_VALUE ? NULL : f;
}

int main(int argc, char **argv) {
    if (argc != 4 && argc != 6) return 3;
    HANDLE held_handle = hold(argc, argv);
    if (held_handle == NULL) return 1;
    char held[MAX_PATH + 8];
    _snprintf(held, sizeof held, "%s.held", argv[2]);
    held[sizeof held - 1] = 0;
    HANDLE h = CreateFileA(held, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    DWORD limit = (DWORD)strtoul(argv[3], NULL, 10);
    int code = 2;
    for (DWORD waited = 0; waited < limit; waited += 50) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) {
            code = 0;
            break;
        }
        Sleep(50);
    }
    if (strncmp(argv[1], "mutex:", 6) == 0) ReleaseMutex(held_handle);
    CloseHandle(held_handle);
    return code;
}
