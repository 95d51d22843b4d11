// kvxdrive: runs a line-based script that starts one program and drives its windows from outside.
// One driver process holds the started process's handle for the whole scenario, so its exit code
// stays readable and Wine pays for a single program start. Script language: README.md beside this file.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// ---- output -------------------------------------------------------------------------------------

HANDLE g_out;
int g_errors;

// WriteFile instead of printf: no CRLF translation, one record per call even if the target
// shares the file.
void emit(const char *fmt, ...) {
    char buf[8192];
    va_list ap;
    va_start(ap, fmt);
    int n = _vsnprintf(buf, sizeof buf - 2, fmt, ap);
    va_end(ap);
    if (n < 0 || n > (int)sizeof buf - 2) n = (int)sizeof buf - 2;
    buf[n++] = '\n';
    DWORD done;
    WriteFile(g_out, buf, (DWORD)n, &done, NULL);
}

void fail(const char *cmd, const char *reason) {
    ++g_errors;
    emit("error cmd=%s reason=%s", cmd, reason);
}

// Lowercase hex of raw bytes, so accents and blanks survive a space-separated record.
const char *hex(const char *s, int len = -1) {
    static char bufs[4][4100];
    static int next;
    char *out = bufs[next++ & 3];
    if (len < 0) len = (int)strlen(s);
    if (len > 2048) len = 2048;
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < len; ++i) {
        unsigned char c = (unsigned char)s[i];
        out[2 * i] = digits[c >> 4];
        out[2 * i + 1] = digits[c & 15];
    }
    out[2 * len] = 0;
    return out;
}

int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes into out (NUL-terminated); false on odd length or a bad digit.
bool unhex(const char *s, char *out, int cap) {
    int len = (int)strlen(s);
    if (len % 2 || len / 2 >= cap) return false;
    for (int i = 0; i < len / 2; ++i) {
        int hi = hexval(s[2 * i]), lo = hexval(s[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = (char)(hi * 16 + lo);
    }
    out[len / 2] = 0;
    return true;
}

bool parse_int(const char *s, long *v) {
    if (!*s) return false;
    char *end;
    *v = strtol(s, &end, 0);
    return *end == 0;
}

// ---- the started process and the window poller -------------------------------------------------

CRITICAL_SECTION g_lock;
HANDLE g_proc;
DWORD g_pid;
DWORD g_start_tick;
bool g_exited;
DWORD g_exit_tick;
enum { kMaxSeen = 512 };
HWND g_seen[kMaxSeen];
int g_nseen;
HWND g_cur;

BOOL CALLBACK collect_proc(HWND w, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != g_pid || !IsWindowVisible(w)) return TRUE;
    for (int i = 0; i < g_nseen; ++i)
        if (g_seen[i] == w) return TRUE;
    if (g_nseen < kMaxSeen) g_seen[g_nseen++] = w;
    return TRUE;
}

// Must hold g_lock.
void poll_once() {
    if (!g_proc || g_exited) return;
    EnumWindows(collect_proc, 0);
    if (WaitForSingleObject(g_proc, 0) == WAIT_OBJECT_0) {
        g_exited = true;
        g_exit_tick = GetTickCount();
    }
}

// Counts windows in the background too, so a box that flashes while the script sleeps is seen.
volatile LONG g_quit;

DWORD WINAPI poller(LPVOID) {
    while (!g_quit) {
        EnterCriticalSection(&g_lock);
        poll_once();
        LeaveCriticalSection(&g_lock);
        Sleep(10);
    }
    return 0;
}

DWORD since_start() { return GetTickCount() - g_start_tick; }

// ---- finding windows ---------------------------------------------------------------------------

struct FindArgs {
    const char *caption;  // NULL: any
    const char *cls;      // NULL: any
    HWND enabled, any;
};

BOOL CALLBACK find_proc(HWND w, LPARAM lp) {
    FindArgs *a = (FindArgs *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != g_pid || !IsWindowVisible(w)) return TRUE;
    char buf[1024];
    if (a->caption) {
        GetWindowTextA(w, buf, sizeof buf);
        if (strcmp(buf, a->caption)) return TRUE;
    }
    if (a->cls) {
        GetClassNameA(w, buf, sizeof buf);
        if (strcmp(buf, a->cls)) return TRUE;
    }
    if (!a->any) a->any = w;
    // A modal box disables its owner: the enabled window is the one waiting for input.
    if (IsWindowEnabled(w)) {
        a->enabled = w;
        return FALSE;
    }
    return TRUE;
}

HWND find_window(const char *caption, const char *cls) {
    FindArgs a = {caption, cls, NULL, NULL};
    EnumWindows(find_proc, (LPARAM)&a);
    return a.enabled ? a.enabled : a.any;
}

// ---- windows nobody waits for ----------------------------------------------------------------
// While the script waits for the process to end or for a window of its own, a box that comes up
// instead would hold it until its time-out. A new visible window of the started process (or a dialog
// of another one: a help viewer's question, a crash report) that stays up for kStaysMs ends the wait
// at once with an `unexpected` record.

enum { kMaxBefore = 256, kStaysMs = 500 };

struct Snapshot {
    HWND w[kMaxBefore];
    int n;
};

// The started process's windows that a wait-window returned: the script knows them.
Snapshot g_waited;

bool in_snapshot(const Snapshot &s, HWND w) {
    for (int i = 0; i < s.n; ++i)
        if (s.w[i] == w) return true;
    return false;
}

// Windows already up when a wait begins are not news, except the started process's own that the
// script never waited for: on a busy machine the driver may get to its wait only after such a box
// has come up.
BOOL CALLBACK snapshot_proc(HWND w, LPARAM lp) {
    Snapshot *s = (Snapshot *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == g_pid && g_pid && !in_snapshot(g_waited, w)) return TRUE;
    if (IsWindowVisible(w) && s->n < kMaxBefore) s->w[s->n++] = w;
    return TRUE;
}

void take_snapshot(Snapshot *s) {
    s->n = 0;
    EnumWindows(snapshot_proc, (LPARAM)s);
}

struct NewBox {
    const Snapshot *before;
    const char *wanted;  // a caption the script waits for: not unexpected (NULL: none)
    HWND found;
};

BOOL CALLBACK new_box_proc(HWND w, LPARAM lp) {
    NewBox *a = (NewBox *)lp;
    if (!IsWindowVisible(w) || in_snapshot(*a->before, w)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char buf[1024];
    if (pid != g_pid) {
        GetClassNameA(w, buf, sizeof buf);
        if (strcmp(buf, "#32770")) return TRUE;  // folder windows and the like are no question
    }
    if (a->wanted) {
        GetWindowTextA(w, buf, sizeof buf);
        if (!strcmp(buf, a->wanted)) return TRUE;
    }
    a->found = w;
    return FALSE;
}

// Follows one candidate across calls; returns it once it has stayed visible for kStaysMs.
struct BoxWatch {
    HWND candidate;
    DWORD since;
};

HWND unexpected_box(const Snapshot &before, const char *wanted, BoxWatch *watch) {
    NewBox a = {&before, wanted, NULL};
    EnumWindows(new_box_proc, (LPARAM)&a);
    if (!a.found) {
        watch->candidate = NULL;
        return NULL;
    }
    if (a.found != watch->candidate) {
        watch->candidate = a.found;
        watch->since = GetTickCount();
        return NULL;
    }
    return GetTickCount() - watch->since >= kStaysMs ? a.found : NULL;
}

void report_unexpected(const char *cmd, HWND w) {
    char caption[1024], cls[256];
    GetWindowTextA(w, caption, sizeof caption);
    GetClassNameA(w, cls, sizeof cls);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    emit("unexpected hwnd=0x%lx class=%s caption=%s pid=%lu own=%d", (unsigned long)(DWORD_PTR)w,
         hex(cls), hex(caption), pid, pid == g_pid ? 1 : 0);
    ++g_errors;
    emit("error cmd=%s reason=window", cmd);
}

// Sleeps in small steps, polling windows meanwhile.
void nap(DWORD ms) {
    EnterCriticalSection(&g_lock);
    poll_once();
    LeaveCriticalSection(&g_lock);
    Sleep(ms);
}

struct ChildFind {
    long id;
    HWND exact, low;
};

BOOL CALLBACK child_find_proc(HWND w, LPARAM lp) {
    ChildFind *f = (ChildFind *)lp;
    long id = GetWindowLongA(w, GWL_ID);
    if (id == f->id) {
        f->exact = w;
        return FALSE;
    }
    // Classic templates store ids as 16 bits: -1 and 65535 name the same control.
    if (!f->low && (WORD)id == (WORD)f->id) f->low = w;
    return TRUE;
}

// Direct children first, then any descendant (property sheet pages are nested dialogs).
HWND find_child(long id) {
    if (!g_cur) return NULL;
    ChildFind f = {id, NULL, NULL};
    for (HWND c = GetWindow(g_cur, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!child_find_proc(c, (LPARAM)&f)) return f.exact;
    }
    if (f.low) return f.low;
    EnumChildWindows(g_cur, child_find_proc, (LPARAM)&f);
    return f.exact ? f.exact : f.low;
}

// A target that let one message or remote call time out is not asked again: a dump of a window
// with thirty controls would otherwise wait minutes for a hung process.
DWORD g_unanswered_pid;

LRESULT send_to(HWND w, UINT msg, WPARAM wp, LPARAM lp, bool *ok = NULL) {
    DWORD_PTR r = 0;
    // Generous, and no SMTO_ABORTIFHUNG: a target starting under emulation on a busy machine can
    // go seconds without reading messages and would count as hung.
    LRESULT done = 0;
    if (g_unanswered_pid != g_pid || !g_pid) {
        done = SendMessageTimeoutA(w, msg, wp, lp, SMTO_NORMAL, 10000, &r);
        if (!done && GetLastError() == ERROR_TIMEOUT) g_unanswered_pid = g_pid;
    }
    if (ok) *ok = done != 0;
    return (LRESULT)r;
}

// ---- code run inside the target ----------------------------------------------------------------
// Fonts and icons are the target's handles: under Wine WM_GETFONT is not answered across processes,
// GetObject fails on a foreign font, and each process gets its own handles for the standard icons.
// So a few instructions run in a thread of the target and leave their results in a section mapped
// into both processes (WriteProcessMemory is refused under Wine in this environment).

typedef LONG(WINAPI *MapViewFn)(HANDLE, HANDLE, PVOID *, ULONG_PTR, SIZE_T, PLARGE_INTEGER,
                                PSIZE_T, DWORD, ULONG, ULONG);

enum { kSectionSize = 4096, kDataOffset = 2048 };

HANDLE g_section;
unsigned char *g_local;  // our view
DWORD g_remote;          // the target's view of the same memory
DWORD g_remote_pid;      // whose view g_remote is
DWORD g_user32, g_gdi32; // module bases in the target

struct RemoteCall {
    HANDLE proc;
    DWORD fn, arg, code;
    bool answered, timed_out;
};

DWORD WINAPI remote_call_thread(LPVOID param) {
    RemoteCall *call = (RemoteCall *)param;
    HANDLE t = CreateRemoteThread(call->proc, NULL, 0, (LPTHREAD_START_ROUTINE)(DWORD_PTR)call->fn,
                                  (LPVOID)(DWORD_PTR)call->arg, 0, NULL);
    if (!t) return 0;
    if (WaitForSingleObject(t, 15000) == WAIT_OBJECT_0)
        call->answered = GetExitCodeThread(t, &call->code) != 0;
    else
        call->timed_out = true;
    CloseHandle(t);
    return 0;
}

DWORD remote_call1(DWORD fn, DWORD arg) {
    if (g_unanswered_pid == g_pid) return 0;
    // On a thread of its own: under Wine creating a thread in another process waits, without any
    // bound, for that process to take the request, which a busy or stuck target may never do. A
    // target that does not answer must not stall the script; a stray call is left to end with it.
    RemoteCall *call = new RemoteCall{g_proc, fn, arg, 0, false, false};
    HANDLE helper = CreateThread(NULL, 0, remote_call_thread, call, 0, NULL);
    if (!helper) {
        delete call;
        return 0;
    }
    if (WaitForSingleObject(helper, 20000) != WAIT_OBJECT_0) {
        g_unanswered_pid = g_pid;
        CloseHandle(helper);
        return 0;  // the helper still uses `call`: left to it
    }
    CloseHandle(helper);
    DWORD code = call->answered ? call->code : 0;
    if (call->timed_out) g_unanswered_pid = g_pid;
    delete call;
    return code;
}

DWORD remote_module(const char *name) {
    lstrcpyA((char *)g_local + kDataOffset, name);
    DWORD fn = (DWORD)(DWORD_PTR)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                "GetModuleHandleA");
    return remote_call1(fn, g_remote + kDataOffset);
}

bool remote_ready() {
    if (!g_proc) return false;
    if (g_remote_pid == g_pid) return g_remote != 0;
    g_remote_pid = g_pid;
    g_remote = 0;
    if (!g_section) {
        g_section = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_EXECUTE_READWRITE, 0,
                                       kSectionSize, NULL);
        if (!g_section) return false;
        g_local = (unsigned char *)MapViewOfFile(
            g_section, FILE_MAP_READ | FILE_MAP_WRITE | FILE_MAP_EXECUTE, 0, 0, kSectionSize);
        if (!g_local) return false;
    }
    MapViewFn map = (MapViewFn)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                      "NtMapViewOfSection");
    PVOID base = NULL;
    SIZE_T size = 0;
    if (!map || map(g_section, g_proc, &base, 0, 0, NULL, &size, 2 /* ViewUnmap */, 0,
                    PAGE_EXECUTE_READWRITE) != 0)
        return false;
    g_remote = (DWORD)(DWORD_PTR)base;
    g_user32 = remote_module("user32.dll");
    g_gdi32 = remote_module("gdi32.dll");
    return true;
}

// module!func as the target sees it: same offset from the module's base as here.
DWORD remote_fn(DWORD remote_base, const char *module, const char *func) {
    HMODULE local = LoadLibraryA(module);
    DWORD f = (DWORD)(DWORD_PTR)GetProcAddress(local, func);
    if (!remote_base || !f) return 0;
    return f - (DWORD)(DWORD_PTR)local + remote_base;
}

struct Code {
    unsigned char *b;
    int n;
    void byte(unsigned v) { b[n++] = (unsigned char)v; }
    void dword(DWORD v) {
        memcpy(b + n, &v, 4);
        n += 4;
    }
    void push(DWORD v) {
        byte(0x68);
        dword(v);
    }
    void push_mem(DWORD addr) {  // push dword [addr]
        byte(0xFF);
        byte(0x35);
        dword(addr);
    }
    void call(DWORD addr) {
        byte(0xB8);  // mov eax, addr
        dword(addr);
        byte(0xFF);  // call eax
        byte(0xD0);
    }
    void store_eax(DWORD addr) {
        byte(0xA3);  // mov [addr], eax
        dword(addr);
    }
    void ret4() {
        byte(0xC2);
        byte(0x04);
        byte(0x00);
    }
};

bool remote_run(Code &c) {
    FlushInstructionCache(g_proc, (void *)(DWORD_PTR)g_remote, c.n);
    return remote_call1(g_remote, 0) == 1;
}

struct StdIcon {
    LPCSTR id;
    const char *name;
};
const StdIcon kIcons[] = {
    {IDI_INFORMATION, "information"}, {IDI_WARNING, "warning"},       {IDI_ERROR, "error"},
    {IDI_QUESTION, "question"},       {IDI_APPLICATION, "application"},
};
enum { kNIcons = sizeof kIcons / sizeof kIcons[0] };

DWORD g_icons_pid;  // whose standard icon handles are cached
DWORD g_remote_icons[kNIcons];

// The standard icon handles as the target itself gets them from LoadIcon.
bool load_remote_icons() {
    if (g_icons_pid == g_pid) return true;
    if (!remote_ready()) return false;
    DWORD load = remote_fn(g_user32, "user32.dll", "LoadIconA");
    if (!load) return false;
    DWORD data = g_remote + kDataOffset;
    Code c = {g_local, 0};
    for (int i = 0; i < kNIcons; ++i) {
        c.push((DWORD)(DWORD_PTR)kIcons[i].id);
        c.push(0);
        c.call(load);
        c.store_eax(data + 4 * i);
    }
    c.byte(0x31);  // xor eax, eax; inc eax: thread exit code 1 = ran to the end
    c.byte(0xC0);
    c.byte(0x40);
    c.ret4();
    if (!remote_run(c)) return false;
    memcpy(g_remote_icons, g_local + kDataOffset, sizeof g_remote_icons);
    g_icons_pid = g_pid;
    return true;
}

const char *icon_name(HANDLE icon) {
    if (!icon) return "none";
    // Real Windows shares the standard icons between processes.
    for (int i = 0; i < kNIcons; ++i)
        if (LoadIconA(NULL, kIcons[i].id) == (HICON)icon) return kIcons[i].name;
    if (!load_remote_icons()) return "unknown";
    for (int i = 0; i < kNIcons; ++i)
        if (g_remote_icons[i] == (DWORD)(DWORD_PTR)icon) return kIcons[i].name;
    return "other";
}

// In the target: font = WM_GETFONT of w, then GetObjectA(font). Returns 0 no font, 1 ok, -1 failed.
int remote_font(HWND w, LOGFONTA *lf) {
    if (!remote_ready()) return -1;
    DWORD send = remote_fn(g_user32, "user32.dll", "SendMessageTimeoutA");
    DWORD getobj = remote_fn(g_gdi32, "gdi32.dll", "GetObjectA");
    if (!send || !getobj) return -1;
    DWORD data = g_remote + kDataOffset;
    memset(g_local + kDataOffset, 0, 8 + sizeof *lf);
    Code c = {g_local, 0};
    c.push(data);  // &result
    c.push(5000);
    c.push(SMTO_NORMAL);
    c.push(0);
    c.push(0);
    c.push(WM_GETFONT);
    c.push((DWORD)(DWORD_PTR)w);
    c.call(send);
    c.push(data + 8);
    c.push(sizeof *lf);
    c.push_mem(data);
    c.call(getobj);
    c.store_eax(data + 4);
    c.byte(0x31);  // exit code 1
    c.byte(0xC0);
    c.byte(0x40);
    c.ret4();
    if (!remote_run(c)) return -1;
    DWORD font, got;
    memcpy(&font, g_local + kDataOffset, 4);
    memcpy(&got, g_local + kDataOffset + 4, 4);
    if (!font) return 0;
    if (got != sizeof *lf) return -1;
    memcpy(lf, g_local + kDataOffset + 8, sizeof *lf);
    return 1;
}

// ---- commands ----------------------------------------------------------------------------------

char g_cwd[MAX_PATH * 2];
wchar_t g_wcwd[MAX_PATH * 2];  // the same, for the wide starts (a folder the ANSI code page cannot name)

void release_process() {
    EnterCriticalSection(&g_lock);
    if (g_proc) CloseHandle(g_proc);
    g_proc = NULL;
    g_pid = 0;
    g_exited = false;
    g_nseen = 0;
    g_cur = NULL;
    g_remote_pid = g_icons_pid = g_unanswered_pid = 0;  // pids can be reused
    LeaveCriticalSection(&g_lock);
}

// utf8: the command line is UTF-8 and the program is started by its wide form, as the shell starts
// a program whose path the ANSI code page cannot name.
bool do_start(char *cmdline, bool utf8 = false) {
    release_process();
    g_waited.n = 0;
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    static wchar_t wide[32768];
    if (utf8 && !MultiByteToWideChar(CP_UTF8, 0, cmdline, -1, wide, 32768)) {
        ++g_errors;
        emit("error cmd=start reason=utf8");
        return false;
    }
    // Not inheriting handles: the target must not hold our stdout open after we leave.
    if (utf8 ? !CreateProcessW(NULL, wide, NULL, NULL, FALSE, 0, NULL, g_wcwd[0] ? g_wcwd : NULL,
                               (STARTUPINFOW *)&si, &pi)
             : !CreateProcessA(NULL, cmdline, NULL, NULL, FALSE, 0, NULL, g_cwd[0] ? g_cwd : NULL, &si,
                               &pi)) {
        ++g_errors;
        emit("error cmd=start reason=createprocess code=%lu", GetLastError());
        return false;
    }
    CloseHandle(pi.hThread);
    EnterCriticalSection(&g_lock);
    g_proc = pi.hProcess;
    g_pid = pi.dwProcessId;
    g_start_tick = GetTickCount();
    LeaveCriticalSection(&g_lock);
    emit("started pid=%lu", pi.dwProcessId);
    return true;
}

void do_wait_exit(DWORD timeout) {
    if (!g_proc) return fail("wait-exit", "nostart");
    DWORD begin = GetTickCount();
    Snapshot before;
    take_snapshot(&before);
    BoxWatch watch = {NULL, 0};
    for (;;) {
        EnterCriticalSection(&g_lock);
        poll_once();
        bool done = g_exited;
        LeaveCriticalSection(&g_lock);
        if (done) break;
        if (HWND box = unexpected_box(before, NULL, &watch)) {
            emit("exit window ms=%lu", since_start());
            return report_unexpected("wait-exit", box);
        }
        if (GetTickCount() - begin >= timeout) {
            emit("exit timeout ms=%lu", since_start());
            return;
        }
        WaitForSingleObject(g_proc, 10);
    }
    DWORD code = 0;
    GetExitCodeProcess(g_proc, &code);
    emit("exit code=%lu ms=%lu windows=%d", code, g_exit_tick - g_start_tick, g_nseen);
}

void print_window_record(const char *kind, HWND w, DWORD begin, bool idle) {
    char caption[1024], cls[256];
    GetWindowTextA(w, caption, sizeof caption);
    GetClassNameA(w, cls, sizeof cls);
    emit("%s hwnd=0x%lx class=%s caption=%s ms=%lu t=%lu idle=%d", kind,
         (unsigned long)(DWORD_PTR)w, hex(cls), hex(caption), GetTickCount() - begin, since_start(),
         idle ? 1 : 0);
}

void do_wait_window(DWORD timeout, const char *caption, const char *cls) {
    if (!g_proc) return fail("wait-window", "nostart");
    DWORD begin = GetTickCount();
    Snapshot before;
    take_snapshot(&before);
    BoxWatch watch = {NULL, 0};
    for (;;) {
        HWND w = find_window(caption, cls);
        if (w) {
            g_cur = w;
            if (!in_snapshot(g_waited, w) && g_waited.n < kMaxBefore) g_waited.w[g_waited.n++] = w;
            // Visible is not yet ready: let the target reach its message loop first.
            DWORD idle = WaitForInputIdle(g_proc, 10000);
            print_window_record("window", w, begin, idle == 0);
            return;
        }
        EnterCriticalSection(&g_lock);
        poll_once();
        bool exited = g_exited;
        LeaveCriticalSection(&g_lock);
        if (exited || GetTickCount() - begin >= timeout) {
            emit("window none ms=%lu exited=%d", GetTickCount() - begin, exited ? 1 : 0);
            return;
        }
        // Only a script that names the window it waits for can tell another one from it.
        if (caption) {
            if (HWND box = unexpected_box(before, caption, &watch)) {
                emit("window none ms=%lu exited=0", GetTickCount() - begin);
                return report_unexpected("wait-window", box);
            }
        }
        nap(20);
    }
}

// A modal box over the current window disables it and becomes the process's enabled window: the
// current window from then on.
void do_wait_box(DWORD timeout) {
    if (!g_cur) return fail("wait-box", "nowindow");
    DWORD begin = GetTickCount();
    for (;;) {
        FindArgs a = {NULL, NULL, NULL, NULL};
        if (!IsWindowEnabled(g_cur)) EnumWindows(find_proc, (LPARAM)&a);
        if (a.enabled && a.enabled != g_cur) {
            g_cur = a.enabled;
            if (!in_snapshot(g_waited, g_cur) && g_waited.n < kMaxBefore) g_waited.w[g_waited.n++] = g_cur;
            DWORD idle = WaitForInputIdle(g_proc, 10000);
            print_window_record("window", g_cur, begin, idle == 0);
            return;
        }
        if (!IsWindow(g_cur) || GetTickCount() - begin >= timeout) {
            emit("window none ms=%lu exited=0", GetTickCount() - begin);
            return;
        }
        nap(10);
    }
}

void do_wait_gone(DWORD timeout) {
    if (!g_cur) return fail("wait-gone", "nowindow");
    DWORD begin = GetTickCount();
    while (IsWindow(g_cur) && IsWindowVisible(g_cur)) {
        if (GetTickCount() - begin >= timeout) {
            emit("gone timeout ms=%lu", GetTickCount() - begin);
            return;
        }
        nap(10);
    }
    emit("gone ms=%lu", GetTickCount() - begin);
    g_cur = NULL;
}

const char *rect_str(const RECT &r) {
    static char bufs[2][64];
    static int next;
    char *b = bufs[next++ & 1];
    _snprintf(b, 64, "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
    return b;
}

void print_font(HWND w, char *out, int cap) {
    LOGFONTA lf;
    int r = remote_font(w, &lf);
    if (r > 0)
        _snprintf(out, cap, " fontheight=%ld fontweight=%ld fontitalic=%d fontface=%s",
                  lf.lfHeight, lf.lfWeight, lf.lfItalic ? 1 : 0, hex(lf.lfFaceName));
    else
        _snprintf(out, cap, r == 0 ? " font=system" : " font=unknown");
    out[cap - 1] = 0;
}

void print_child(HWND parent, HWND c, int depth) {
    char cls[256], text[2048], extra[512];
    GetClassNameA(c, cls, sizeof cls);
    // WM_GETTEXT is marshalled across processes; GetWindowText would not ask an edit control.
    text[0] = 0;
    bool ok;
    send_to(c, WM_GETTEXT, sizeof text, (LPARAM)text, &ok);
    if (!ok) GetWindowTextA(c, text, sizeof text);
    text[sizeof text - 1] = 0;
    LONG style = GetWindowLongA(c, GWL_STYLE), exstyle = GetWindowLongA(c, GWL_EXSTYLE);
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(NULL, parent, (POINT *)&r, 2);
    int n = 0;
    extra[0] = 0;
    if (!lstrcmpiA(cls, "Button"))
        n += _snprintf(extra + n, sizeof extra - n, " checked=%d",
                       (int)send_to(c, BM_GETCHECK, 0, 0));
    if (!lstrcmpiA(cls, "Static") && (style & SS_TYPEMASK) == SS_ICON)
        n += _snprintf(extra + n, sizeof extra - n, " icon=%s",
                       icon_name((HANDLE)send_to(c, STM_GETICON, 0, 0)));
    print_font(c, extra + n, sizeof extra - n);
    char depthbuf[32] = "";
    if (depth) _snprintf(depthbuf, sizeof depthbuf, " depth=%d", depth);
    emit("child id=%ld class=%s text=%s style=0x%08lx exstyle=0x%08lx rect=%s visible=%d "
         "enabled=%d%s%s hwnd=0x%lx",
         (long)GetWindowLongA(c, GWL_ID), hex(cls), hex(text), (unsigned long)style,
         (unsigned long)exstyle, rect_str(r), IsWindowVisible(c) ? 1 : 0,
         IsWindowEnabled(c) ? 1 : 0, extra, depthbuf, (unsigned long)(DWORD_PTR)c);
}

int dump_children(HWND parent, int depth, bool deep) {
    int count = 0;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        print_child(parent, c, depth);
        ++count;
        if (deep) count += dump_children(c, depth + 1, deep);
    }
    return count;
}

void do_dump(bool deep) {
    if (!g_cur || !IsWindow(g_cur)) return fail("dump", "nowindow");
    char caption[1024], cls[256], font[512];
    GetWindowTextA(g_cur, caption, sizeof caption);
    GetClassNameA(g_cur, cls, sizeof cls);
    RECT r, cr;
    GetWindowRect(g_cur, &r);
    GetClientRect(g_cur, &cr);
    POINT origin = {0, 0};
    ClientToScreen(g_cur, &origin);
    print_font(g_cur, font, sizeof font);
    emit("dump hwnd=0x%lx class=%s caption=%s style=0x%08lx exstyle=0x%08lx rect=%s client=%s "
         "origin=%ld,%ld visible=%d enabled=%d%s",
         (unsigned long)(DWORD_PTR)g_cur, hex(cls), hex(caption),
         (unsigned long)GetWindowLongA(g_cur, GWL_STYLE),
         (unsigned long)GetWindowLongA(g_cur, GWL_EXSTYLE), rect_str(r), rect_str(cr), origin.x,
         origin.y, IsWindowVisible(g_cur) ? 1 : 0, IsWindowEnabled(g_cur) ? 1 : 0, font);
    int n = dump_children(g_cur, 0, deep);
    emit("dump-end children=%d", n);
}

void do_click(long id) {
    HWND c = find_child(id);
    if (!c) return fail("click", "nochild");
    // A real user cannot press what is hidden or greyed out; refusing keeps tests honest.
    if (!IsWindowVisible(c)) return fail("click", "invisible");
    if (!IsWindowEnabled(c)) return fail("click", "disabled");
    PostMessageA(c, BM_CLICK, 0, 0);
    emit("clicked id=%ld", id);
}

void do_key(long vk) {
    if (!g_cur) return fail("key", "nowindow");
    GUITHREADINFO gi;
    memset(&gi, 0, sizeof gi);
    gi.cbSize = sizeof gi;
    HWND target = g_cur;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(g_cur, NULL), &gi) && gi.hwndFocus)
        target = gi.hwndFocus;
    UINT scan = MapVirtualKeyA((UINT)vk, 0);
    LPARAM down = 1 | (scan << 16);
    PostMessageA(target, WM_KEYDOWN, (WPARAM)vk, down);
    PostMessageA(target, WM_KEYUP, (WPARAM)vk, down | 0xC0000000);
    emit("key vk=%ld hwnd=0x%lx", vk, (unsigned long)(DWORD_PTR)target);
}

void do_settext(long id, const char *text) {
    HWND c = find_child(id);
    if (!c) return fail("settext", "nochild");
    bool ok;
    send_to(c, WM_SETTEXT, 0, (LPARAM)text, &ok);
    if (!ok) {
        ++g_errors;
        emit("error cmd=settext reason=send code=%lu", GetLastError());
        return;
    }
    emit("settext id=%ld", id);
}

void do_kill() {
    if (!g_proc) return fail("kill", "nostart");
    TerminateProcess(g_proc, 1);
    WaitForSingleObject(g_proc, 5000);
    emit("killed pid=%lu", g_pid);
}

// Splits off the first space-separated token; the rest keeps every byte (tabs, blanks).
char *next_token(char **line) {
    char *s = *line;
    char *sp = strchr(s, ' ');
    if (sp) {
        *sp = 0;
        *line = sp + 1;
    } else {
        *line = s + strlen(s);
    }
    return s;
}

// Returns false when the script itself is malformed.
bool execute(char *line) {
    char *rest = line;
    char *cmd = next_token(&rest);
    static char buf[32768];
    long n;
    if (!strcmp(cmd, "cd")) {
        lstrcpynA(g_cwd, rest, sizeof g_cwd);
        MultiByteToWideChar(CP_ACP, 0, g_cwd, -1, g_wcwd, MAX_PATH * 2);
        emit("cd ok=1");
    } else if (!strcmp(cmd, "cdu")) {
        if (!unhex(rest, buf, sizeof buf) || !MultiByteToWideChar(CP_UTF8, 0, buf, -1, g_wcwd, MAX_PATH * 2)) {
            return false;
        }
        WideCharToMultiByte(CP_ACP, 0, g_wcwd, -1, g_cwd, sizeof g_cwd, NULL, NULL);
        emit("cd ok=1");
    } else if (!strcmp(cmd, "startu")) {
        if (!unhex(rest, buf, sizeof buf)) return false;
        do_start(buf, true);
    } else if (!strcmp(cmd, "runu")) {
        if (!parse_int(next_token(&rest), &n) || !unhex(rest, buf, sizeof buf)) return false;
        if (do_start(buf, true)) do_wait_exit((DWORD)n);
    } else if (!strcmp(cmd, "start")) {
        lstrcpynA(buf, rest, sizeof buf);
        do_start(buf);
    } else if (!strcmp(cmd, "starthex")) {
        if (!unhex(rest, buf, sizeof buf)) return false;
        do_start(buf);
    } else if (!strcmp(cmd, "run") || !strcmp(cmd, "runhex")) {
        if (!parse_int(next_token(&rest), &n)) return false;
        if (cmd[3] == 'h') {
            if (!unhex(rest, buf, sizeof buf)) return false;
        } else {
            lstrcpynA(buf, rest, sizeof buf);
        }
        if (do_start(buf)) do_wait_exit((DWORD)n);
    } else if (!strcmp(cmd, "wait-window")) {
        if (!parse_int(next_token(&rest), &n)) return false;
        static char caption[2048], cls[512];
        const char *cap = NULL, *cl = NULL;
        char *t = next_token(&rest);
        if (*t && strcmp(t, "-")) {
            if (!unhex(t, caption, sizeof caption)) return false;
            cap = caption;
        }
        t = next_token(&rest);
        if (*t) {
            if (!unhex(t, cls, sizeof cls)) return false;
            cl = cls;
        }
        do_wait_window((DWORD)n, cap, cl);
    } else if (!strcmp(cmd, "wait-gone")) {
        if (!parse_int(rest, &n)) return false;
        do_wait_gone((DWORD)n);
    } else if (!strcmp(cmd, "wait-box")) {
        if (!parse_int(rest, &n)) return false;
        do_wait_box((DWORD)n);
    } else if (!strcmp(cmd, "wait-exit")) {
        if (!parse_int(rest, &n)) return false;
        do_wait_exit((DWORD)n);
    } else if (!strcmp(cmd, "dump")) {
        if (*rest && strcmp(rest, "deep")) return false;
        do_dump(*rest != 0);
    } else if (!strcmp(cmd, "click")) {
        if (!parse_int(rest, &n)) return false;
        do_click(n);
    } else if (!strcmp(cmd, "command")) {
        if (!parse_int(rest, &n)) return false;
        if (!g_cur) {
            fail("command", "nowindow");
            return true;
        }
        PostMessageA(g_cur, WM_COMMAND, MAKEWPARAM((WORD)n, BN_CLICKED), (LPARAM)find_child(n));
        emit("command id=%ld", n);
    } else if (!strcmp(cmd, "close")) {
        if (!g_cur) {
            fail("close", "nowindow");
            return true;
        }
        PostMessageA(g_cur, WM_CLOSE, 0, 0);
        emit("close hwnd=0x%lx", (unsigned long)(DWORD_PTR)g_cur);
    } else if (!strcmp(cmd, "key")) {
        if (!parse_int(rest, &n)) return false;
        do_key(n);
    } else if (!strcmp(cmd, "settext")) {
        if (!parse_int(next_token(&rest), &n) || !unhex(rest, buf, sizeof buf)) return false;
        do_settext(n, buf);
    } else if (!strcmp(cmd, "sleep")) {
        if (!parse_int(rest, &n)) return false;
        DWORD begin = GetTickCount();
        while (GetTickCount() - begin < (DWORD)n) nap(10);
        emit("slept ms=%lu", GetTickCount() - begin);
    } else if (!strcmp(cmd, "wait-file")) {
        if (!parse_int(next_token(&rest), &n) || !*rest) return false;
        DWORD begin = GetTickCount();
        bool found;
        while (!(found = GetFileAttributesA(rest) != INVALID_FILE_ATTRIBUTES) &&
               GetTickCount() - begin < (DWORD)n)
            nap(20);
        emit("file found=%d ms=%lu", found ? 1 : 0, GetTickCount() - begin);
    } else if (!strcmp(cmd, "kill")) {
        do_kill();
    } else {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc != 2) {
        emit("error cmd=usage reason=args");
        return 2;
    }
    HANDLE f = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) {
        emit("error cmd=script reason=open code=%lu", GetLastError());
        return 2;
    }
    DWORD size = GetFileSize(f, NULL), got = 0;
    char *script = (char *)malloc(size + 1);
    if (!script || !ReadFile(f, script, size, &got, NULL) || got != size) {
        emit("error cmd=script reason=read");
        return 2;
    }
    CloseHandle(f);
    script[size] = 0;

    InitializeCriticalSection(&g_lock);
    HANDLE poll_thread = CreateThread(NULL, 0, poller, NULL, 0, NULL);
    emit("ready");

    int lineno = 0;
    for (char *line = script; line && *line;) {
        char *nl = strchr(line, '\n');
        if (nl) *nl = 0;
        ++lineno;
        size_t len = strlen(line);
        if (len && line[len - 1] == '\r') line[len - 1] = 0;
        if (*line && *line != '#' && !execute(line)) {
            emit("error cmd=script reason=syntax line=%d", lineno);
            g_errors = -1;
            break;
        }
        line = nl ? nl + 1 : NULL;
    }
    // Ending the process while the poller runs crashed qemu now and then: stop it first.
    InterlockedExchange(&g_quit, 1);
    WaitForSingleObject(poll_thread, 5000);
    if (g_errors < 0) return 2;
    emit("done errors=%d", g_errors);
    // A still running target is left alone: the caller decides (kill, or stop the prefix).
    return g_errors ? 1 : 0;
}
