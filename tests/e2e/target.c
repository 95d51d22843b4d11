/* A small GUI program for the driver's own tests. Modes (first argument):
 *   exit N                       exit with N, no window
 *   sleep MS N                   sleep, then exit with N
 *   msgbox ICON CAPTION TEXT     MessageBoxA; ICON: info|warning|error|question (question: Yes/No);
 *                                exits with the box's result
 *   twoboxes                     two boxes in a row; exits with 10*first + second
 *   dialog                       a dialog from an in-memory template; exits with EndDialog's value
 *   cwd                          exit 0 (see KVX_TARGET_OUT)
 *   version                      exit with 100 * major + minor Windows version
 * When the environment variable KVX_TARGET_OUT names a file, the raw command line, the current
 * directory and then each argument from argv[1] on are written there first, one a line. */
#include <windows.h>
#include <stdlib.h>
#include <string.h>

static void record_invocation(void) {
    char path[MAX_PATH], cwd[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KVX_TARGET_OUT", path, sizeof path);
    if (!n || n >= sizeof path) return;
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    const char *cmd = GetCommandLineA();
    DWORD done;
    WriteFile(f, cmd, (DWORD)strlen(cmd), &done, NULL);
    WriteFile(f, "\n", 1, &done, NULL);
    DWORD len = GetCurrentDirectoryA(sizeof cwd, cwd);
    WriteFile(f, cwd, len, &done, NULL);
    for (int i = 1; i < __argc; ++i) {
        WriteFile(f, "\n", 1, &done, NULL);
        WriteFile(f, __argv[i], (DWORD)strlen(__argv[i]), &done, NULL);
    }
    CloseHandle(f);
}

enum { ID_EDIT = 100, ID_CHECK = 101, ID_DISABLED = 102, ID_BOLD = 103 };

static HFONT bold_font;

/* Result on OK: 100 + 1 if the box is checked + 2 if the edit says "abc"; Cancel: 2. */
static INT_PTR CALLBACK dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    (void)lp;
    if (msg == WM_INITDIALOG) {
        CheckDlgButton(dlg, ID_CHECK, BST_CHECKED);
        LOGFONTA lf;
        GetObjectA((HFONT)SendMessageA(dlg, WM_GETFONT, 0, 0), sizeof lf, &lf);
        lf.lfWeight = FW_BOLD;
        bold_font = CreateFontIndirectA(&lf);
        SendDlgItemMessageA(dlg, ID_BOLD, WM_SETFONT, (WPARAM)bold_font, FALSE);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        char text[64];
        GetDlgItemTextA(dlg, ID_EDIT, text, sizeof text);
        int r = 100 + (IsDlgButtonChecked(dlg, ID_CHECK) == BST_CHECKED ? 1 : 0) +
                (strcmp(text, "abc") == 0 ? 2 : 0);
        EndDialog(dlg, r);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

/* Template builder: WORD-aligned header, DWORD-aligned items, ANSI strings widened. */
static WORD *put_str(WORD *p, const char *s) {
    do *p++ = (WORD)(unsigned char)*s; while (*s++);
    return p;
}

static WORD *align4(WORD *p) { return (WORD *)(((ULONG_PTR)p + 3) & ~(ULONG_PTR)3); }

static WORD *put_item(WORD *p, DWORD style, short x, short y, short cx, short cy, WORD id,
                      WORD cls, const char *text) {
    DLGITEMTEMPLATE *it = (DLGITEMTEMPLATE *)align4(p);
    it->style = style | WS_CHILD | WS_VISIBLE;
    it->dwExtendedStyle = 0;
    it->x = x;
    it->y = y;
    it->cx = cx;
    it->cy = cy;
    it->id = id;
    p = (WORD *)(it + 1);
    *p++ = 0xFFFF;
    *p++ = cls;
    p = put_str(p, text);
    *p++ = 0; /* no creation data */
    return p;
}

static int run_dialog(void) {
    static DWORD mem[512];
    DLGTEMPLATE *t = (DLGTEMPLATE *)mem;
    t->style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    t->cdit = 7;
    t->x = 10;
    t->y = 10;
    t->cx = 200;
    t->cy = 100;
    WORD *p = (WORD *)(t + 1);
    *p++ = 0; /* menu */
    *p++ = 0; /* class */
    p = put_str(p, "Target dialog");
    *p++ = 8;
    p = put_str(p, "MS Shell Dlg");
    p = put_item(p, SS_LEFT, 7, 7, 100, 8, 0xFFFF, 0x0082, "Name:");
    p = put_item(p, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 18, 120, 12, ID_EDIT, 0x0081, "");
    p = put_item(p, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 36, 120, 10, ID_CHECK, 0x0080, "Keep f\xe9te");
    p = put_item(p, BS_PUSHBUTTON | WS_DISABLED, 7, 50, 60, 14, ID_DISABLED, 0x0080, "Greyed");
    p = put_item(p, SS_LEFT, 80, 50, 100, 8, ID_BOLD, 0x0082, "Bold");
    p = put_item(p, BS_DEFPUSHBUTTON | WS_TABSTOP, 80, 80, 50, 14, IDOK, 0x0080, "OK");
    p = put_item(p, BS_PUSHBUTTON | WS_TABSTOP, 140, 80, 50, 14, IDCANCEL, 0x0080, "Cancel");
    return (int)DialogBoxIndirectParamA(GetModuleHandleA(NULL), t, NULL, dialog_proc, 0);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show) {
    (void)inst; (void)prev; (void)cmd; (void)show;
    record_invocation();
    int argc = __argc;
    char **argv = __argv;
    if (argc < 2) return 255;
    const char *mode = argv[1];
    if (!strcmp(mode, "exit") && argc >= 3) return atoi(argv[2]);
    if (!strcmp(mode, "sleep") && argc >= 4) {
        Sleep((DWORD)atoi(argv[2]));
        return atoi(argv[3]);
    }
    if (!strcmp(mode, "msgbox") && argc >= 5) {
        UINT type = MB_OK | MB_ICONINFORMATION;
        if (!strcmp(argv[2], "warning")) type = MB_OK | MB_ICONWARNING;
        if (!strcmp(argv[2], "error")) type = MB_OK | MB_ICONERROR;
        if (!strcmp(argv[2], "question")) type = MB_YESNO | MB_ICONQUESTION;
        return MessageBoxA(NULL, argv[4], argv[3], type);
    }
    if (!strcmp(mode, "twoboxes")) {
        int a = MessageBoxA(NULL, "one", "First", MB_OKCANCEL | MB_ICONINFORMATION);
        int b = MessageBoxA(NULL, "two", "Second", MB_OKCANCEL | MB_ICONINFORMATION);
        return 10 * a + b;
    }
    if (!strcmp(mode, "dialog")) return run_dialog();
    if (!strcmp(mode, "cwd")) return 0;
    if (!strcmp(mode, "version")) {
        DWORD v = GetVersion();
        return (int)(LOBYTE(LOWORD(v)) * 100 + HIBYTE(LOWORD(v)));
    }
    return 254;
}
