// Registry access: one open, one operation, one close per call; nothing is cached and every failed
// read gives its default. Key paths are taken as they stand, below the root given. Every write and
// delete gives the system's status. `view` is KEY_WOW64_64KEY (NativeRegistryView) where a call must
// reach the 64-bit registry of 64-bit Windows, else 0.
#pragma once
#include <stddef.h>
#include <windows.h>

const int kRegNameSize = 256;  // a subkey's name during a tree deletion (255 characters at most)

HKEY CreateRegKey(HKEY root, const char* keyPath, REGSAM view = 0);  // null when it can be neither created nor opened
HKEY OpenRegKey(HKEY root, const char* keyPath, REGSAM view = 0);    // null when it cannot be opened
bool CloseRegKey(HKEY key);

// Each write gives the system's status (ERROR_CANTWRITE when its key can be neither created nor
// opened); every failed one is counted as well (RegistryWriteFailures) and logged.
LONG WriteRegString(HKEY root, const char* keyPath, const char* valueName, const char* text, REGSAM view = 0);
LONG WriteRegDword(HKEY root, const char* keyPath, const char* valueName, DWORD number);
LONG WriteRegBinary(HKEY root, const char* keyPath, const char* valueName, const void* data, size_t size);

// A value that is missing, unreadable or larger than the output gives the default and false.
// Strings always come back terminated: data that fills the whole buffer without a NUL does not fit.
bool ReadRegString(HKEY root, const char* keyPath, const char* valueName, char* out, size_t size,
                   const char* defaultText);
// A value of one to four bytes is a number (little-endian, zero-extended); a missing, empty or
// longer value gives the default.
bool ReadRegDword(HKEY root, const char* keyPath, const char* valueName, DWORD* out, DWORD defaultNumber);
DWORD GetRegDword(HKEY root, const char* keyPath, const char* valueName, DWORD defaultNumber);
// The value's bytes as stored; how many, or -1 when the value is missing or larger than `size`.
long ReadRegBinary(HKEY root, const char* keyPath, const char* valueName, void* out, size_t size);

// The key alone, a value, the key with everything below it. Each gives the system's status; a key
// or value that was not there gives ERROR_FILE_NOT_FOUND. What goes is logged.
LONG DeleteRegKey(HKEY root, const char* keyPath, REGSAM view = 0);
LONG DeleteRegValue(HKEY root, const char* keyPath, const char* valueName, REGSAM view = 0);
LONG DeleteRegTree(HKEY root, const char* keyPath, REGSAM view = 0);
bool RegKeyExists(HKEY root, const char* keyPath);
// Whether a value is there, whatever its size or type.
bool RegValueExists(HKEY root, const char* keyPath, const char* valueName);

// Whether the key is there with neither values nor subkeys.
bool RegKeyIsEmpty(HKEY root, const char* keyPath, REGSAM view = 0);

// KEY_WOW64_64KEY on 64-bit Windows, where the 64-bit shell looks for what a program registers for
// it; 0 elsewhere.
REGSAM NativeRegistryView();

// Writes that failed so far, on any thread: a setup that made one did not set everything up.
long RegistryWriteFailures();
