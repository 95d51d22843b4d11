/* callhook.dll: loaded into a program that killcall started suspended (it adds this library to the
 * program's import table first). Once the loader has filled the program's import slots, it points
 * the slots of the functions named in the shared mapping (callhook.h) at small thunks of its own,
 * and does the same for what the program looks up with GetProcAddress. Each call through a thunk is
 * counted under one lock, written as a record, and then runs the real function; at the kill call
 * the program ends itself instead, at the pause call it waits (holding the lock, so no other thread
 * gets past a counted call) until the release file exists.
 * Nothing is written into code: the slots are data, read afresh by whatever runs the program (an
 * emulator included), and the thunks are this library's own code, loaded like any other.
 * Built without a C runtime: it imports kernel32 only, so the program's process loads nothing else. */
#include "callhook.h"

enum { kMostThunks = 64, kLineSize = 4096, kStringMost = 511 };

typedef struct {
    LONG function;
    void *real;
} Thunk;

static HookShared *shared;
static CRITICAL_SECTION lock;
static Thunk thunks[kMostThunks];
static LONG thunkCount;
static FARPROC(WINAPI *realGetProcAddress)(HMODULE, LPCSTR);
static char line[kLineSize];

/* kvx_thunks: kMostThunks entries 16 bytes apart, entry i pushes i and goes to kvx_common.
 * kvx_common saves the registers, asks kvx_on_call for the real entry (the arguments start above
 * the caller's return address), puts it where i was, and returns into it: the real function then
 * runs with the caller's stack exactly as the caller made it. */
void *kvx_on_call(LONG index, const DWORD *args) __attribute__((used));
__asm__(".text\n"
        ".balign 16\n"
        "_kvx_thunks:\n"
        ".set kvx_i, 0\n"
        ".rept 64\n"
        ".balign 16\n"
        "pushl $kvx_i\n"
        "jmp _kvx_common\n"
        ".set kvx_i, kvx_i + 1\n"
        ".endr\n"
        "_kvx_common:\n"
        "pushal\n"
        "cld\n"
        "leal 40(%esp), %eax\n"
        "pushl %eax\n"
        "pushl 36(%esp)\n"
        "call _kvx_on_call\n"
        "addl $8, %esp\n"
        "movl %eax, 32(%esp)\n"
        "popal\n"
        "ret\n");
extern char kvx_thunks[] __asm__("_kvx_thunks");

static int same_text(const char *a, const char *b) {  /* ASCII, ignoring case */
    for (;; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? (char)(*a + 32) : *a;
        char y = *b >= 'A' && *b <= 'Z' ? (char)(*b + 32) : *b;
        if (x != y) return 0;
        if (!x) return 1;
    }
}

/* "kernel32" names kernel32.dll too. */
static int same_library(const char *wanted, const char *library) {
    char name[kHookNameSize];
    int i = 0;
    for (; wanted[i] && i < kHookNameSize - 5; ++i) name[i] = wanted[i];
    name[i] = 0;
    if (same_text(name, library)) return 1;
    name[i] = '.', name[i + 1] = 'd', name[i + 2] = 'l', name[i + 3] = 'l', name[i + 4] = 0;
    return same_text(name, library);
}

static const char *base_name(const char *path) {
    const char *name = path;
    for (; *path; ++path) {
        if (*path == '\\' || *path == '/' || *path == ':') name = path + 1;
    }
    return name;
}

static LONG find_function(const char *name, const char *library) {
    for (LONG i = 0; i < shared->functionCount; ++i) {
        const HookFunction *f = &shared->functions[i];
        if (same_text(f->name, name) && (!f->library[0] || same_library(f->library, library))) return i;
    }
    return -1;
}

/* The thunk for `function` going to `real` (one per pair); NULL when none is left. */
static void *thunk_for(LONG function, void *real) {
    void *found = NULL;
    EnterCriticalSection(&lock);
    for (LONG i = 0; i < thunkCount && !found; ++i) {
        if (thunks[i].function == function && thunks[i].real == real) found = kvx_thunks + 16 * i;
    }
    if (!found && thunkCount < kMostThunks) {
        thunks[thunkCount].function = function;
        thunks[thunkCount].real = real;
        found = kvx_thunks + 16 * thunkCount++;
    }
    LeaveCriticalSection(&lock);
    return found;
}

/* --- records ---------------------------------------------------------------------------------- */

static size_t used;

static void put(const char *text) {
    while (*text && used + 1 < kLineSize) line[used++] = *text++;
}

static void put_number(unsigned long value, int hex) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value % (hex ? 16 : 10)];
        value /= hex ? 16 : 10;
    } while (value);
    if (hex) put("0x");
    while (n && used + 1 < kLineSize) line[used++] = digits[--n];
}

/* key=HEX of the string's bytes, at most `most` of them; nothing for a string that cannot be read. */
static void put_string(const char *key, const char *text, size_t most) {
    if (!text || IsBadStringPtrA(text, most)) return;
    put(" ");
    put(key);
    put("=");
    for (size_t i = 0; i < most && text[i] && used + 3 < kLineSize; ++i) {
        unsigned char c = (unsigned char)text[i];
        line[used++] = "0123456789abcdef"[c >> 4];
        line[used++] = "0123456789abcdef"[c & 15];
    }
}

static void publish(void) {
    line[used++] = '\n';
    LONG at = shared->length;
    if (at + (LONG)used > kHookTextSize) {
        InterlockedIncrement(&shared->overflow);
        return;
    }
    for (size_t i = 0; i < used; ++i) shared->text[at + i] = line[i];
    InterlockedExchange(&shared->length, at + (LONG)used);
}

/* call|killed|paused n=N fn=NAME tid=N [key=0x..] [arg=HEX] [data=HEX] */
static void record(const char *kind, LONG n, const HookFunction *f, const DWORD *args) {
    used = 0;
    put(kind);
    put(" n=");
    put_number((unsigned long)n, 0);
    put(" fn=");
    put(f->name);
    put(" tid=");
    put_number(GetCurrentThreadId(), 0);
    if (f->keyArg) {
        put(" key=");
        put_number(args[f->keyArg - 1], 1);
    }
    if (f->stringArg) {
        const char *text = (const char *)args[f->stringArg - 1];
        /* CreateProcessA names no application most of the time: its command line is the string. */
        if (!text && same_text(f->name, "CreateProcessA")) text = (const char *)args[0];
        put_string("arg", text, kStringMost);
    }
    if (same_text(f->name, "RegSetValueExA") && args[3] == REG_SZ && args[4]) {
        put_string("data", (const char *)args[4], args[5] < kStringMost ? args[5] : kStringMost);
    }
    publish();
}

void *kvx_on_call(LONG index, const DWORD *args) {
    DWORD error = GetLastError();
    const Thunk *thunk = &thunks[index];
    const HookFunction *f = &shared->functions[thunk->function];
    EnterCriticalSection(&lock);
    LONG n = InterlockedIncrement(&shared->calls);
    record(n == shared->kill ? "killed" : n == shared->pause ? "paused" : "call", n, f, args);
    if (n == shared->kill) {
        /* Nothing more is counted: the lock stays taken until the process is gone. */
        TerminateProcess(GetCurrentProcess(), 1);
        for (;;) Sleep(INFINITE);
    }
    while (n == shared->pause && GetFileAttributesA(shared->release) == INVALID_FILE_ATTRIBUTES &&
           (LONG)(GetTickCount() - shared->limitTick) < 0) {
        Sleep(20);
    }
    LeaveCriticalSection(&lock);
    SetLastError(error);
    return thunk->real;
}

static FARPROC WINAPI hook_GetProcAddress(HMODULE module, LPCSTR name) {
    FARPROC real = realGetProcAddress(module, name);
    char path[MAX_PATH];
    DWORD length;
    if (!real || (ULONG_PTR)name >> 16 == 0) return real;  /* an ordinal */
    length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path) return real;
    LONG function = find_function(name, base_name(path));
    void *thunk = function < 0 ? NULL : thunk_for(function, (void *)real);
    return thunk ? (FARPROC)thunk : real;
}

static void redirect(void **slot, void *to) {
    DWORD old;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return;
    *slot = to;
    VirtualProtect(slot, sizeof *slot, old, &old);
    InterlockedIncrement(&shared->slots);
}

/* Points the program's import slots of the wanted functions (and GetProcAddress) at the thunks. */
static void hook_program(void) {
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    const IMAGE_NT_HEADERS32 *nt = (const IMAGE_NT_HEADERS32 *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY *dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_IMPORT_DESCRIPTOR *d = (const IMAGE_IMPORT_DESCRIPTOR *)(base + dir->VirtualAddress);
    for (; d->Name && d->FirstThunk; ++d) {
        const char *library = base_name((const char *)(base + d->Name));
        /* Without the names (no lookup table) the slots cannot be told apart. */
        if (!d->OriginalFirstThunk || same_text(library, KVX_CALLHOOK_LIBRARY)) continue;
        const IMAGE_THUNK_DATA32 *names = (const IMAGE_THUNK_DATA32 *)(base + d->OriginalFirstThunk);
        void **slots = (void **)(base + d->FirstThunk);
        for (size_t k = 0; names[k].u1.AddressOfData; ++k) {
            if (IMAGE_SNAP_BY_ORDINAL32(names[k].u1.Ordinal)) continue;
            const char *name = (const char *)((const IMAGE_IMPORT_BY_NAME *)(base + names[k].u1.AddressOfData))->Name;
            LONG function = find_function(name, library);
            if (function >= 0) {
                void *thunk = thunk_for(function, slots[k]);
                if (thunk) redirect(&slots[k], thunk);
            } else if (same_text(name, "GetProcAddress")) {
                realGetProcAddress = (FARPROC(WINAPI *)(HMODULE, LPCSTR))slots[k];
                redirect(&slots[k], (void *)hook_GetProcAddress);
            }
        }
    }
}

__declspec(dllexport) void KvxCallHook(void) {}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char name[64];
    DWORD pid = GetCurrentProcessId();
    const char *prefix = KVX_CALLHOOK_PREFIX;
    int n = 0, k = 0;
    char digits[12];
    while (prefix[n]) name[n] = prefix[n], ++n;
    do digits[k++] = (char)('0' + pid % 10), pid /= 10; while (pid);
    while (k) name[n++] = digits[--k];
    name[n] = 0;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!mapping) return TRUE;  /* not started by killcall: counts nothing */
    shared = (HookShared *)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HookShared));
    if (!shared) return TRUE;
    InitializeCriticalSection(&lock);
    hook_program();
    InterlockedExchange(&shared->attached, 1);
    return TRUE;
}
