/* What killcall.exe and callhook.dll share: the named mapping "kvxcallhook.<pid of the program>"
 * that killcall makes before the program runs, holding the functions to count, the call to end
 * or pause the program at, and the records the hook writes (whole lines, published by `length`). */
#ifndef KVX_CALLHOOK_H
#define KVX_CALLHOOK_H

#include <windows.h>

#define KVX_CALLHOOK_PREFIX "kvxcallhook." /* then the process id in decimal */
#define KVX_CALLHOOK_EXPORT "KvxCallHook"
#define KVX_CALLHOOK_LIBRARY "callhook.dll" /* beside killcall.exe */

enum {
    kHookMostFunctions = 32,
    kHookNameSize = 64,
    kHookPathSize = 1024,
    kHookTextSize = 4 << 20,
};

typedef struct {
    char library[kHookNameSize];  /* "" : any library the program imports it from */
    char name[kHookNameSize];
    LONG stringArg;                /* 1-based argument printed as arg=, 0: none */
    LONG keyArg;                   /* 1-based registry handle printed as key=, 0: none */
} HookFunction;

typedef struct {
    LONG functionCount;
    HookFunction functions[kHookMostFunctions];
    LONG kill;                     /* end the program when this call is reached, before it runs */
    LONG pause;                    /* hold the program at this call until `release` exists */
    char release[kHookPathSize];
    DWORD limitTick;               /* GetTickCount() after which a pause gives up */
    volatile LONG attached;        /* set by the hook once the program's import slots are pointed at it */
    volatile LONG slots;           /* import slots redirected */
    volatile LONG calls;
    volatile LONG overflow;        /* records that did not fit */
    volatile LONG length;          /* bytes of whole records in text */
    char text[kHookTextSize];
} HookShared;

#endif
