/* Stands in for the archiver in a fake installation folder. Each start appends one line to the
 * file named by KVX_STUB_LOG: "pid=N out=0|1 cwd=DIR cmd=COMMAND LINE", then exits with 0 (out: whether
 * its standard output is a handle it really has). Appending (not rewriting) lets a test count how
 * many times it was started. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show) {
    (void)inst; (void)prev; (void)cmd; (void)show;
    char path[MAX_PATH], cwd[MAX_PATH], line[4096];
    DWORD n = GetEnvironmentVariableA("KVX_STUB_LOG", path, sizeof path);
    if (!n || n >= sizeof path) return 0;
    if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    int real = out != NULL && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN;
    int len = _snprintf(line, sizeof line, "pid=%lu out=%d cwd=%s cmd=%s\r\n", GetCurrentProcessId(), real, cwd,
                        GetCommandLineA());
    if (len < 0) len = sizeof line;
    /* Two starts may run at once: retry while the other one holds the file. */
    for (int tries = 0; tries < 200; ++tries) {
        HANDLE f = CreateFileA(path, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, 0, NULL);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD done;
            WriteFile(f, line, (DWORD)len, &done, NULL);
            CloseHandle(f);
            return 0;
        }
        Sleep(20);
    }
    return 1;
}
