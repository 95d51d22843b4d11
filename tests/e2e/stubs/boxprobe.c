/* boxprobe CAPTION TIMEOUT_MS ANSWER_ID: waits for a visible top-level window of any process with
 * exactly this caption, prints its owner and the texts of its children, posts WM_COMMAND(ANSWER_ID)
 * and waits until it is gone. The driver only sees the process it started; this reaches boxes that
 * other programs (e.g. winhlp32) show. Output, text as hex of the ANSI bytes:
 *     box pid=N exe=HEX
 *     child id=N text=HEX
 *     gone=0|1
 * Exit code: 0 found and gone, 1 not found in time, 2 still there after the answer. */
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *wanted;
static HWND found;

static BOOL CALLBACK find(HWND w, LPARAM lp) {
    (void)lp;
    char caption[512];
    if (!IsWindowVisible(w)) return TRUE;
    GetWindowTextA(w, caption, sizeof caption);
    if (strcmp(caption, wanted)) return TRUE;
    found = w;
    return FALSE;
}

static void put_hex(const char *s) {
    for (; *s; ++s) printf("%02x", (unsigned char)*s);
}

static void exe_of(DWORD pid, char *out, size_t room) {
    out[0] = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
        if (pe.th32ProcessID == pid) {
            lstrcpynA(out, pe.szExeFile, (int)room);
            break;
        }
    }
    CloseHandle(snap);
}

int main(int argc, char **argv) {
    if (argc < 4) return 3;
    wanted = argv[1];
    DWORD timeout = (DWORD)strtoul(argv[2], NULL, 0);
    WPARAM answer = (WPARAM)strtoul(argv[3], NULL, 0);
    DWORD begin = GetTickCount();
    while (!found) {
        EnumWindows(find, 0);
        if (found) break;
        if (GetTickCount() - begin >= timeout) {
            printf("box none\n");
            return 1;
        }
        Sleep(50);
    }
    Sleep(200);  /* let the box finish its set-up before it is read and answered */
    DWORD pid = 0;
    GetWindowThreadProcessId(found, &pid);
    char exe[MAX_PATH];
    exe_of(pid, exe, sizeof exe);
    printf("box pid=%lu exe=", pid);
    put_hex(exe);
    printf("\n");
    for (HWND c = GetWindow(found, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char text[2048];
        GetWindowTextA(c, text, sizeof text);
        printf("child id=%ld text=", (long)(short)GetWindowLongA(c, GWL_ID));
        put_hex(text);
        printf("\n");
    }
    PostMessageA(found, WM_COMMAND, answer, 0);
    begin = GetTickCount();
    while (IsWindow(found) && IsWindowVisible(found) && GetTickCount() - begin < 10000) Sleep(20);
    int gone = !(IsWindow(found) && IsWindowVisible(found));
    printf("gone=%d\n", gone);
    return gone ? 0 : 2;
}
