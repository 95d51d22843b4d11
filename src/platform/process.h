// Process, locale and version helpers over the Win32 API.
#pragma once
#include <stddef.h>

// Starts `commandLine` (CreateProcessA may write into it) in `workingFolder` (null: ours) and waits up
// to `waitMilliseconds` for it (0: no wait). True when the process was started.
bool LaunchCommand(char* commandLine, const char* workingFolder, unsigned long waitMilliseconds);

// Waits for a thread; messages other threads send to this one's windows are handled meanwhile (a
// shell broadcast must not wait for us), input and posted messages are left in the queue.
void WaitForThread(void* thread);

// -1, 0 or +1 as the user's locale orders the texts, ignoring case; -2 when the comparison fails.
int CompareTextNoCase(const char* a, const char* b);

// A library of the system, loaded from the system folder by its full path: by its bare name the
// program's own folder (and on old systems the current one) would come first, where anyone who may
// write there could put a library of that name. Null when it cannot be loaded.
void* LoadSystemLibrary(const char* name);

// Narrows where libraries loaded by a bare name are looked for, where the system can: the system
// folder alone (SetDefaultDllDirectories), or at least not the current folder (SetDllDirectoryA).
// Called first thing; looked up at run time, since old systems have neither.
void RestrictLibrarySearch();

// Whether this process runs with a full administrator's token on Windows Vista or later, where an
// unelevated program of the same user runs beside it. False on older systems.
bool RunsElevated();

// The folder for the files a run leaves behind it (the batch file, the log): when elevated, the
// Windows folder's Temp, with `*descriptor` (freed by the caller with LocalFree) for files that only
// Administrators and SYSTEM may read or change, since any program of the user could otherwise rewrite
// them; else the user's temporary folder and no descriptor. False when neither can be named.
bool GetRunFilesFolder(char* folder, size_t size, void** descriptor);

// The system's version as "major.minor.build" and its family ("NT" or "9x").
void DescribeSystemVersion(char* out, size_t size);

// The major version on the NT family, 0 on the Windows 9x family. Asks the system only once.
unsigned long GetNtMajorVersion();

// Systems from 4.90 on (Windows Me, 2000 and later) keep new-archive templates as files, older
// ones as bytes in the registry.
bool IsNewerSystem();

