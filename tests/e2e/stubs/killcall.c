/* killcall [-k N] [-p N FILE] [-t MS] [-d DIR] CMDHEX FUNCTION...
 * Starts the command line CMDHEX (hex of its Windows-1252 bytes) and counts, in order and from any
 * thread, the program's calls of each FUNCTION: what it imports, or looks up with GetProcAddress.
 * No debugger and nothing written into code: the program is started suspended, callhook.dll (beside
 * this program) is added to its import table, and once the loader has filled the import slots the
 * library points the wanted ones at its own counting thunks (callhook.c). Only the program itself
 * is counted: what it starts runs freely.
 * FUNCTION is NAME (an export of advapi32 or kernel32) or LIBRARY!NAME (imported from LIBRARY).
 *   without -k   every call is printed, then the program's exit code
 *   -k N         the program ends itself (exit code 1) when call N is reached, before it runs
 *   -t MS        limit for the whole run (default 60000): the program is ended when it passes
 *   -d DIR       the program's working folder
 *   -p N FILE    the program waits at call N (before it runs) until FILE exists
 * Output, one record a line (arg/data: hex of the first string argument, and for RegSetValueExA
 * of a REG_SZ the string written; key: the registry handle the call names):
 *   call n=N fn=NAME tid=N [key=0x..] [arg=HEX] [data=HEX]
 *   killed n=N fn=NAME ...                   the call it was ended at (not run)
 *   paused n=N fn=NAME ...                   the call it waits at
 *   hooked slots=N                           import slots redirected (printed once the program ends)
 *   exit code=N calls=N
 *   error reason=WORD ...                    then exit code 1 (usage, start) or 3 (the hook)
 *   timeout calls=N                          exit code 2 */
#include <windows.h>
#include <winternl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "callhook.h"

enum { kCommandSize = 32768, kHeaderPage = 4096 };

/* Which argument (1-based) holds the string to print, and which the registry handle; 0: none. */
static const struct { const char *name; int stringArg; int keyArg; } kKnown[] = {
    {"RegSetValueExA", 2, 1},  {"RegDeleteKeyA", 2, 1},   {"RegDeleteValueA", 2, 1}, {"RegCreateKeyExA", 2, 1},
    {"RegOpenKeyExA", 2, 1},   {"DeleteFileA", 1, 0},     {"RemoveDirectoryA", 1, 0}, {"MoveFileExA", 1, 0},
    {"CreateFileA", 1, 0},     {"CreateDirectoryA", 1, 0}, {"SetFileAttributesA", 1, 0}, {"CreateProcessA", 2, 0},
    {"CreateMutexA", 3, 0},    {"OpenMutexA", 3, 0},      {"WriteFile", 0, 0},
};

static int hex_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* NAME must be an export of advapi32 or kernel32 (a misspelt name would count nothing); LIBRARY!NAME
 * is taken as given. */
static int describe(const char *wanted, HookFunction *f) {
    const char *name = strchr(wanted, '!');
    if (name) {
        if ((size_t)(name - wanted) >= sizeof f->library) return 0;
        memcpy(f->library, wanted, (size_t)(name - wanted));
        f->library[name - wanted] = 0;
        ++name;
    } else {
        name = wanted;
        f->library[0] = 0;
        if (!GetProcAddress(LoadLibraryA("advapi32.dll"), name) && !GetProcAddress(LoadLibraryA("kernel32.dll"), name)) {
            return 0;
        }
    }
    if (strlen(name) >= sizeof f->name) return 0;
    strcpy(f->name, name);
    for (size_t k = 0; k < sizeof kKnown / sizeof kKnown[0]; ++k) {
        if (!strcmp(kKnown[k].name, name)) {
            f->stringArg = kKnown[k].stringArg;
            f->keyArg = kKnown[k].keyArg;
        }
    }
    return 1;
}

static int read_at(HANDLE process, DWORD address, void *out, SIZE_T size) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, (void *)(DWORD_PTR)address, out, size, &done) && done == size;
}

/* Adds `library` (a full path) to the import table of the suspended process's program: a copy of
 * its import descriptors with one more, in the slack of its header page, and the import directory
 * pointed there. The loader has not looked at the imports yet; it now loads the library after the
 * program's own ones, and runs its start-up before the program's. Returns NULL or what failed. */
static const char *add_import(HANDLE process, const char *library) {
    NTSTATUS(NTAPI * query)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG) =
        (NTSTATUS(NTAPI *)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG))(void (*)(void))GetProcAddress(
            GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION info;
    DWORD base;
    if (!query || query(process, ProcessBasicInformation, &info, sizeof info, NULL) != 0 ||
        !read_at(process, (DWORD)(DWORD_PTR)info.PebBaseAddress + 8, &base, sizeof base)) {
        return "image";  /* PEB.ImageBaseAddress */
    }

    static BYTE page[kHeaderPage];
    if (!read_at(process, base, page, sizeof page)) return "image";
    const IMAGE_DOS_HEADER *dos = (const IMAGE_DOS_HEADER *)page;
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 ||
        (size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > sizeof page) {
        return "headers";
    }
    IMAGE_NT_HEADERS32 *nt = (IMAGE_NT_HEADERS32 *)(page + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return "headers";
    const IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    size_t end = (size_t)((const BYTE *)(sections + nt->FileHeader.NumberOfSections) - page);
    size_t limit = sizeof page;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
        if (sections[i].VirtualAddress < limit) limit = sections[i].VirtualAddress;
    }
    IMAGE_DATA_DIRECTORY *imports = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    size_t count = 0;
    IMAGE_IMPORT_DESCRIPTOR old;
    while (imports->VirtualAddress &&
           read_at(process, base + imports->VirtualAddress + (DWORD)(count * sizeof old), &old, sizeof old) &&
           old.Name && old.FirstThunk) {
        ++count;
    }

    /* descriptors (the old ones, ours, the empty end), lookup table and slots (one entry and the
     * empty end each), the entry's hint and name, the library's path */
    size_t at = (end + 15) & ~(size_t)15;
    size_t descriptors = at, lookup = descriptors + (count + 2) * sizeof old, slots = lookup + 8, hint = slots + 8;
    size_t path = hint + 2 + sizeof KVX_CALLHOOK_EXPORT, size = path + strlen(library) + 1 - at;
    if (at + size > limit) return "room";
    static BYTE added[kHeaderPage];
    memset(added, 0, sizeof added);
    if (count && !read_at(process, base + imports->VirtualAddress, added, count * sizeof old)) return "headers";
    IMAGE_IMPORT_DESCRIPTOR *ours = (IMAGE_IMPORT_DESCRIPTOR *)added + count;
    ours->OriginalFirstThunk = (DWORD)lookup;
    ours->Name = (DWORD)path;
    ours->FirstThunk = (DWORD)slots;
    *(DWORD *)(added + (lookup - at)) = (DWORD)hint;
    *(DWORD *)(added + (slots - at)) = (DWORD)hint;
    memcpy(added + (hint - at) + 2, KVX_CALLHOOK_EXPORT, sizeof KVX_CALLHOOK_EXPORT);
    memcpy(added + (path - at), library, strlen(library) + 1);
    imports->VirtualAddress = (DWORD)descriptors;
    imports->Size = (DWORD)((count + 2) * sizeof old);
    nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BOUND_IMPORT].VirtualAddress = 0;
    nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BOUND_IMPORT].Size = 0;

    DWORD protection;
    SIZE_T done = 0;
    void *header = (void *)(DWORD_PTR)base;
    if (!VirtualProtectEx(process, header, sizeof page, PAGE_READWRITE, &protection)) return "protect";
    int written = WriteProcessMemory(process, (BYTE *)header + at, added, size, &done) && done == size &&
                  WriteProcessMemory(process, header, page, end, &done) && done == end;
    VirtualProtectEx(process, header, sizeof page, protection, &protection);
    return written ? NULL : "write";
}

static HookShared *shared;
static LONG printed;

/* Prints the records the hook has published since the last time. */
static void print_records(void) {
    LONG length = shared->length;
    if (length > printed) {
        fwrite(shared->text + printed, 1, (size_t)(length - printed), stdout);
        fflush(stdout);
        printed = length;
    }
}

int main(int argc, char **argv) {
    long kill = 0, pause = 0;
    DWORD limit = 60000;
    const char *folder = NULL, *release = "";
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        if (!strcmp(argv[i], "-k")) kill = strtol(argv[i + 1], NULL, 10);
        else if (!strcmp(argv[i], "-t")) limit = (DWORD)strtoul(argv[i + 1], NULL, 10);
        else if (!strcmp(argv[i], "-d")) folder = argv[i + 1];
        else if (!strcmp(argv[i], "-p") && i + 2 < argc) pause = strtol(argv[++i], NULL, 10), release = argv[i + 1];
        else break;
    }
    if (i + 2 > argc || strlen(release) >= kHookPathSize) {
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
    static HookFunction functions[kHookMostFunctions];
    int functionCount = 0;
    for (; i < argc; ++i) {
        if (functionCount == kHookMostFunctions || !describe(argv[i], &functions[functionCount])) {
            printf("error reason=function fn=%s\n", argv[i]);
            return 1;
        }
        ++functionCount;
    }
    char library[MAX_PATH];
    DWORD got = GetModuleFileNameA(NULL, library, sizeof library);
    char *slash = strrchr(library, '\\');
    if (got == 0 || got >= sizeof library || !slash || (size_t)(slash + 1 - library) + sizeof KVX_CALLHOOK_LIBRARY > sizeof library) {
        printf("error reason=library\n");
        return 1;
    }
    strcpy(slash + 1, KVX_CALLHOOK_LIBRARY);

    STARTUPINFOA startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, CREATE_SUSPENDED, NULL, folder, &startup, &info)) {
        printf("error reason=start code=%lu\n", GetLastError());
        return 1;
    }
    DWORD start = GetTickCount();
    char name[64];
    _snprintf(name, sizeof name, KVX_CALLHOOK_PREFIX "%lu", info.dwProcessId);
    name[sizeof name - 1] = 0;
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(HookShared), name);
    shared = mapping ? (HookShared *)MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(HookShared)) : NULL;
    const char *failed = shared ? add_import(info.hProcess, library) : "mapping";
    if (failed) {
        printf("error reason=%s code=%lu\n", failed, GetLastError());
        fflush(stdout);
        TerminateProcess(info.hProcess, 3);
        return 3;
    }
    shared->functionCount = functionCount;
    memcpy(shared->functions, functions, sizeof functions);
    shared->kill = kill;
    shared->pause = pause;
    strcpy(shared->release, release);
    /* A paused program outwaits the limit: this side ends it first. */
    shared->limitTick = start + limit + 10000;
    ResumeThread(info.hThread);

    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= limit) {
            TerminateProcess(info.hProcess, 2);
            WaitForSingleObject(info.hProcess, 5000);
            print_records();
            printf("timeout calls=%ld\n", shared->calls);
            fflush(stdout);
            return 2;
        }
        DWORD waited = WaitForSingleObject(info.hProcess, limit - spent < 20 ? limit - spent : 20);
        print_records();
        if (waited == WAIT_OBJECT_0) break;
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    int status = 0;
    printf("hooked slots=%ld\n", shared->slots);
    if (!shared->attached) {
        /* The loader never ran the library's start-up: the program ran uncounted, or not at all. */
        printf("error reason=inject\n");
        status = 3;
    }
    if (shared->overflow) {
        printf("error reason=overflow records=%ld\n", shared->overflow);
        status = 3;
    }
    printf("exit code=%lu calls=%ld\n", code, shared->calls);
    fflush(stdout);
    return status;
}
