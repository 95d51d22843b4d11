/* killcall [-k N] [-p N FILE] [-t MS] [-d DIR] CMDHEX FUNCTION...
 * Starts the command line CMDHEX (hex of its Windows-1252 bytes) as a debuggee, with a breakpoint
 * (int3) on the entry of each FUNCTION (an export of kernel32 or advapi32), and counts the calls
 * of all of them in order, from any thread. Only the debuggee itself is debugged: what it starts
 * runs freely.
 * FUNCTION is NAME (looked up in advapi32, then kernel32) or LIBRARY!NAME.
 *   without -k   every call is printed, then the debuggee's exit code
 *   -k N         the debuggee is ended (TerminateProcess) when call N is reached, before it runs
 *   -t MS        limit for the whole run (default 60000): the debuggee is ended when it passes
 *   -d DIR       the debuggee's working folder
 *   -p N FILE    the debuggee waits at call N (before it runs) until FILE exists
 * Each breakpoint is put back after its call's first instruction (single step with the trap flag),
 * the other threads held meanwhile, so that no call slips through.
 * Output, one record a line (arg/data: hex of the first string argument, and for RegSetValueExA
 * of a REG_SZ the string written; key: the registry handle the call names):
 *   module name=HEX base=0x.. here=0x..      a module holding breakpoints, loaded in the debuggee
 *   call n=N fn=NAME tid=N [key=0x..] [arg=HEX] [data=HEX]
 *   killed n=N fn=NAME ...                   the call it was ended at (not run)
 *   paused n=N fn=NAME ...                   the call it waits at
 *   exit code=N calls=N
 *   error reason=WORD ...                    then exit code 1 (usage, start) or 3 (breakpoints)
 *   timeout calls=N                          exit code 2 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMostBreakpoints = 32, kMostThreads = 256, kStringSize = 512, kCommandSize = 32768 };

/* Which argument (1-based) holds the string to print; 0: none. */
static const struct { const char *name; int stringArg; int keyArg; } kKnown[] = {
    {"RegSetValueExA", 2, 1},  {"RegDeleteKeyA", 2, 1},   {"RegDeleteValueA", 2, 1}, {"RegCreateKeyExA", 2, 1},
    {"RegOpenKeyExA", 2, 1},   {"DeleteFileA", 1, 0},     {"RemoveDirectoryA", 1, 0}, {"MoveFileExA", 1, 0},
    {"CreateFileA", 1, 0},     {"CreateDirectoryA", 1, 0}, {"SetFileAttributesA", 1, 0}, {"CreateProcessA", 2, 0},
    {"CreateMutexA", 3, 0},    {"OpenMutexA", 3, 0},      {"WriteFile", 0, 0},
};

typedef struct {
    const char *name;
    BYTE *here;        /* the entry in this process */
    BYTE *moduleHere;  /* its module's base in this process */
    char module[64];   /* the module's export name */
    BYTE *there;       /* the entry in the debuggee, once its module is loaded */
    BYTE original;
    int armed;
    int stringArg, keyArg;
} Breakpoint;

static Breakpoint bps[kMostBreakpoints];
static int bpCount;
static HANDLE process;
static struct { DWORD id; HANDLE handle; int stepping; Breakpoint *bp; int suspended; } threads[kMostThreads];
static int threadCount;
static int stepping; /* threads single-stepping over a breakpoint */

static void put_hex(const char *key, const char *text) {
    printf(" %s=", key);
    for (const unsigned char *p = (const unsigned char *)text; *p; ++p) printf("%02x", *p);
}

/* Reads a string of the debuggee up to its NUL, one page at a time (the next may be unmapped). */
static int read_string(DWORD address, char *out, size_t size) {
    size_t got = 0;
    out[0] = 0;
    if (address == 0) return 0;
    while (got + 1 < size) {
        size_t chunk = 4096 - ((address + got) & 4095);
        if (chunk > size - 1 - got) chunk = size - 1 - got;
        SIZE_T done = 0;
        void *from = (void *)(DWORD_PTR)(address + got);
        if (!ReadProcessMemory(process, from, out + got, chunk, &done) || done == 0) break;
        out[got + done] = 0;
        if (strlen(out + got) < done) return 1;
        got += done;
    }
    out[got] = 0;
    return got > 0;
}

static int read_dword(DWORD address, DWORD *out) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, (void *)(DWORD_PTR)address, out, sizeof *out, &done) && done == sizeof *out;
}

/* Wine writes code pages as they are; Windows may want them made writable first. */
static int write_byte(BYTE *address, BYTE value) {
    DWORD old;
    SIZE_T done = 0;
    BOOL ok = WriteProcessMemory(process, address, &value, 1, &done) && done == 1;
    if (!ok && VirtualProtectEx(process, address, 1, PAGE_EXECUTE_READWRITE, &old)) {
        ok = WriteProcessMemory(process, address, &value, 1, &done) && done == 1;
        VirtualProtectEx(process, address, 1, old, &old);
    }
    FlushInstructionCache(process, address, 1);
    return ok;
}

/* The export name of the image at `base`, read through `read` (this process or the debuggee). */
static int export_name(BYTE *base, int remote, char *out, size_t size) {
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS32 nt;
    IMAGE_EXPORT_DIRECTORY exports;
    SIZE_T done;
    out[0] = 0;
    if (remote) {
        if (!ReadProcessMemory(process, base, &dos, sizeof dos, &done) ||
            !ReadProcessMemory(process, base + dos.e_lfanew, &nt, sizeof nt, &done)) return 0;
    } else {
        memcpy(&dos, base, sizeof dos);
        memcpy(&nt, base + dos.e_lfanew, sizeof nt);
    }
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || nt.Signature != IMAGE_NT_SIGNATURE) return 0;
    DWORD rva = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    if (rva == 0) return 0;
    if (remote) {
        if (!ReadProcessMemory(process, base + rva, &exports, sizeof exports, &done)) return 0;
        return read_string((DWORD)(DWORD_PTR)(base + exports.Name), out, size);
    }
    memcpy(&exports, base + rva, sizeof exports);
    _snprintf(out, size, "%s", (const char *)(base + exports.Name));
    out[size - 1] = 0;
    return 1;
}

/* A module the debuggee loaded: breakpoints on the entries it holds. Wine loads a system library at
 * the same base in every process; the entry is still found from the debuggee's own base, and its
 * first bytes must be ours. */
static int arm_module(BYTE *base) {
    char name[64];
    int failed = 0, reported = 0;
    if (!export_name(base, 1, name, sizeof name)) return 1;  /* no exports: the program, say */
    for (int i = 0; i < bpCount; ++i) {
        Breakpoint *bp = &bps[i];
        if (bp->armed || _stricmp(bp->module, name) != 0) continue;
        if (!reported) {
            printf("module");
            put_hex("name", name);
            printf(" base=0x%lx here=0x%lx\n", (unsigned long)(DWORD_PTR)base,
                   (unsigned long)(DWORD_PTR)bp->moduleHere);
            reported = 1;
        }
        bp->there = base + (bp->here - bp->moduleHere);
        BYTE code[8];
        SIZE_T done = 0;
        if (!ReadProcessMemory(process, bp->there, code, sizeof code, &done) || done != sizeof code ||
            memcmp(code, bp->here, sizeof code) != 0 || !write_byte(bp->there, 0xCC)) {
            printf("error reason=breakpoint fn=%s at=0x%lx\n", bp->name, (unsigned long)(DWORD_PTR)bp->there);
            failed = 1;
            continue;
        }
        bp->original = code[0];
        bp->armed = 1;
    }
    fflush(stdout);
    return !failed;
}

static int thread_index(DWORD id) {
    for (int i = 0; i < threadCount; ++i) {
        if (threads[i].id == id) return i;
    }
    return -1;
}

static void add_thread(DWORD id, HANDLE handle) {
    if (threadCount == kMostThreads) return;
    threads[threadCount].id = id;
    threads[threadCount].handle = handle;
    threads[threadCount].stepping = 0;
    threads[threadCount].bp = NULL;
    threads[threadCount].suspended = 0;
    /* A thread born while another steps over a breakpoint waits too. */
    if (stepping > 0 && SuspendThread(handle) != (DWORD)-1) threads[threadCount].suspended = 1;
    ++threadCount;
}

static void remove_thread(DWORD id) {
    int i = thread_index(id);
    if (i < 0) return;
    if (threads[i].stepping) --stepping;
    threads[i] = threads[--threadCount];
}

static void print_call(const char *kind, int n, Breakpoint *bp, DWORD tid, DWORD esp) {
    printf("%s n=%d fn=%s tid=%lu", kind, n, bp->name, tid);
    DWORD value;
    char text[kStringSize];
    if (bp->keyArg && read_dword(esp + 4 * bp->keyArg, &value)) printf(" key=0x%lx", value);
    if (bp->stringArg && read_dword(esp + 4 * bp->stringArg, &value)) {
        /* CreateProcessA names no application most of the time: its command line is the string. */
        if (value == 0 && !strcmp(bp->name, "CreateProcessA")) read_dword(esp + 4, &value);
        if (read_string(value, text, sizeof text)) put_hex("arg", text);
    }
    DWORD type, data;
    if (!strcmp(bp->name, "RegSetValueExA") && read_dword(esp + 16, &type) && type == REG_SZ &&
        read_dword(esp + 20, &data) && read_string(data, text, sizeof text)) {
        put_hex("data", text);
    }
    printf("\n");
    fflush(stdout);
}

static void stay_at(HANDLE thread, const Breakpoint *bp) {
    CONTEXT context;
    context.ContextFlags = CONTEXT_CONTROL;
    if (!GetThreadContext(thread, &context)) return;
    context.Eip = (DWORD)(DWORD_PTR)bp->there;
    SetThreadContext(thread, &context);
}

/* Holds every thread but `self` while it single-steps; releases them once no thread steps. */
static void hold_others(int self) {
    for (int i = 0; i < threadCount; ++i) {
        if (i != self && !threads[i].stepping && !threads[i].suspended &&
            SuspendThread(threads[i].handle) != (DWORD)-1) {
            threads[i].suspended = 1;
        }
    }
}

static void release_others(void) {
    if (stepping > 0) return;
    for (int i = 0; i < threadCount; ++i) {
        if (threads[i].suspended) ResumeThread(threads[i].handle);
        threads[i].suspended = 0;
    }
}

static int hex_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* NAME is looked up in advapi32, then kernel32 (which also exports registry functions, as entries
 * of its own that programs importing them from advapi32 never call); LIBRARY!NAME in LIBRARY. */
static int find_function(const char *wanted, Breakpoint *bp) {
    static const char *const modules[] = {"advapi32.dll", "kernel32.dll"};
    char library[64];
    const char *name = strchr(wanted, '!');
    size_t count = sizeof modules / sizeof modules[0];
    if (name) {
        if ((size_t)(name - wanted) >= sizeof library) return 0;
        memcpy(library, wanted, (size_t)(name - wanted));
        library[name - wanted] = 0;
        ++name;
        count = 1;
    } else {
        name = wanted;
    }
    for (size_t m = 0; m < count; ++m) {
        HMODULE module = LoadLibraryA(count == 1 && name != wanted ? library : modules[m]);
        BYTE *entry = module ? (BYTE *)GetProcAddress(module, name) : NULL;
        if (!entry) continue;
        HMODULE owner = NULL;  /* an export may forward to another library */
        if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                (LPCSTR)entry, &owner)) return 0;
        bp->name = name;
        bp->here = entry;
        bp->moduleHere = (BYTE *)owner;
        if (!export_name((BYTE *)owner, 0, bp->module, sizeof bp->module)) return 0;
        for (size_t k = 0; k < sizeof kKnown / sizeof kKnown[0]; ++k) {
            if (!strcmp(kKnown[k].name, name)) {
                bp->stringArg = kKnown[k].stringArg;
                bp->keyArg = kKnown[k].keyArg;
            }
        }
        return 1;
    }
    return 0;
}

int main(int argc, char **argv) {
    long kill = 0, pause = 0;
    DWORD limit = 60000;
    const char *folder = NULL, *release = NULL;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        if (!strcmp(argv[i], "-k")) kill = strtol(argv[i + 1], NULL, 10);
        else if (!strcmp(argv[i], "-t")) limit = (DWORD)strtoul(argv[i + 1], NULL, 10);
        else if (!strcmp(argv[i], "-d")) folder = argv[i + 1];
        else if (!strcmp(argv[i], "-p") && i + 2 < argc) pause = strtol(argv[++i], NULL, 10), release = argv[i + 1];
        else break;
    }
    if (i + 2 > argc) {
        printf("error reason=usage\n");
        return 1;
    }
    static char command[kCommandSize];
    const char *hex = argv[i++];
    size_t length = strlen(hex);
    if (length % 2 || length / 2 >= sizeof command) {
        printf("error reason=command\n");
        return 1;
    }
    for (size_t k = 0; k < length / 2; ++k) {
        int high = hex_value(hex[2 * k]), low = hex_value(hex[2 * k + 1]);
        if (high < 0 || low < 0) {
            printf("error reason=command\n");
            return 1;
        }
        command[k] = (char)(high * 16 + low);
    }
    for (; i < argc; ++i) {
        if (bpCount == kMostBreakpoints || !find_function(argv[i], &bps[bpCount])) {
            printf("error reason=function fn=%s\n", argv[i]);
            return 1;
        }
        ++bpCount;
    }

    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, DEBUG_ONLY_THIS_PROCESS, NULL, folder, &startup, &info)) {
        printf("error reason=start code=%lu\n", GetLastError());
        return 1;
    }
    process = info.hProcess;
    DWORD start = GetTickCount();
    int calls = 0, killed = 0, status = 0;
    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= limit) {
            printf("timeout calls=%d\n", calls);
            fflush(stdout);
            TerminateProcess(process, 2);
            return 2;
        }
        DEBUG_EVENT event;
        if (!WaitForDebugEvent(&event, limit - spent < 500 ? limit - spent : 500)) continue;
        DWORD reply = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
            add_thread(event.dwThreadId, event.u.CreateProcessInfo.hThread);
            break;
        case CREATE_THREAD_DEBUG_EVENT:
            add_thread(event.dwThreadId, event.u.CreateThread.hThread);
            break;
        case EXIT_THREAD_DEBUG_EVENT:
            remove_thread(event.dwThreadId);
            release_others();
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
            if (!arm_module((BYTE *)event.u.LoadDll.lpBaseOfDll)) status = 3;
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            printf("exit code=%lu calls=%d\n", event.u.ExitProcess.dwExitCode, calls);
            fflush(stdout);
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return status;
        case EXCEPTION_DEBUG_EVENT: {
            EXCEPTION_RECORD *record = &event.u.Exception.ExceptionRecord;
            int t = thread_index(event.dwThreadId);
            Breakpoint *bp = NULL;
            for (int k = 0; k < bpCount; ++k) {
                if (bps[k].there && bps[k].there == (BYTE *)record->ExceptionAddress) bp = &bps[k];
            }
            reply = DBG_EXCEPTION_NOT_HANDLED;
            if (killed) {
                /* Until the end takes effect, a thread at a breakpoint only meets it again. */
                if (record->ExceptionCode == EXCEPTION_BREAKPOINT && bp && t >= 0) stay_at(threads[t].handle, bp);
                /* and one that was stepping over a breakpoint stops after its step. */
                if (record->ExceptionCode == EXCEPTION_SINGLE_STEP && t >= 0 && threads[t].stepping &&
                    !threads[t].suspended && SuspendThread(threads[t].handle) != (DWORD)-1) {
                    threads[t].suspended = 1;
                }
                reply = DBG_CONTINUE;
            } else if (record->ExceptionCode == EXCEPTION_BREAKPOINT && bp && t >= 0) {
                CONTEXT context;
                context.ContextFlags = CONTEXT_FULL;
                if (!GetThreadContext(threads[t].handle, &context)) {
                    printf("error reason=context fn=%s\n", bp->name);
                    TerminateProcess(process, 3);
                    return 3;
                }
                ++calls;
                print_call(calls == kill ? "killed" : calls == pause ? "paused" : "call", calls, bp, event.dwThreadId,
                           context.Esp);
                reply = DBG_CONTINUE;
                if (calls == kill) {
                    /* Nothing more runs: the other threads are held, this one stays on the int3. */
                    killed = 1;
                    hold_others(t);
                    stay_at(threads[t].handle, bp);
                    TerminateProcess(process, 1);
                    break;
                }
                /* The whole debuggee waits here, in the middle of its work, until it is let go. */
                while (calls == pause && GetFileAttributesA(release) == INVALID_FILE_ATTRIBUTES) {
                    if (GetTickCount() - start >= limit) break;
                    Sleep(20);
                }
                /* Back to the entry with its own first byte, one instruction, then the int3 again. */
                if (bp->armed) {
                    write_byte(bp->there, bp->original);
                    bp->armed = 0;
                }
                context.Eip = (DWORD)(DWORD_PTR)bp->there;
                context.EFlags |= 0x100;
                SetThreadContext(threads[t].handle, &context);
                if (!threads[t].stepping) ++stepping;
                threads[t].stepping = 1;
                threads[t].bp = bp;
                if (threads[t].suspended) {
                    ResumeThread(threads[t].handle);
                    threads[t].suspended = 0;
                }
                hold_others(t);
            } else if (record->ExceptionCode == EXCEPTION_SINGLE_STEP && t >= 0 && threads[t].stepping) {
                Breakpoint *done = threads[t].bp;
                threads[t].stepping = 0;
                threads[t].bp = NULL;
                --stepping;
                int stillStepping = 0;
                for (int k = 0; k < threadCount; ++k) stillStepping |= threads[k].stepping && threads[k].bp == done;
                if (!done->armed && !stillStepping && write_byte(done->there, 0xCC)) done->armed = 1;
                release_others();
                reply = DBG_CONTINUE;
            } else if (record->ExceptionCode == EXCEPTION_BREAKPOINT) {
                reply = DBG_CONTINUE;  /* the loader's own breakpoint */
            }
            break;
        }
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, reply);
    }
}
