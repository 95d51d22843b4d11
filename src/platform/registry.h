// Registry access: one open, one operation, one close per call; nothing is cached and every
// failed read gives its default. Under HKEY_CURRENT_USER key paths are relative to
// the archiver's own key, HKEY_CURRENT_USER\Software\Korvex, unless they begin with a backslash.
#pragma once
#include <stddef.h>
#include <windows.h>

const int kRegPathSize = 256;      // a built key path
const int kRegTreePathSize = 200;  // a built path for a tree deletion
const int kRegChildPathSize = 512; // a child path during a tree deletion
const int kRegNameSize = 200;      // a subkey name during a tree deletion

// False when the built path would not fit `size` bytes: the caller then touches no key at all,
// since a cut path would name some other key.
bool BuildRegKeyPath(char* out, size_t size, HKEY root, const char* keyPath);

HKEY CreateRegKey(HKEY root, const char* keyPath);  // null when it can be neither created nor opened
HKEY OpenRegKey(HKEY root, const char* keyPath);    // null when it cannot be opened
bool CloseRegKey(HKEY key);

// Each write gives the system's status (ERROR_CANTWRITE when its key can be neither created nor
// opened); every failed one is counted as well (RegistryWriteFailures).
LONG WriteRegString(HKEY root, const char* keyPath, const char* valueName, const char* text);
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

LONG DeleteRegKey(HKEY root, const char* keyPath);  // the key alone; the system's status
void DeleteRegValue(HKEY root, const char* keyPath, const char* valueName);
void DeleteRegTree(HKEY root, const char* keyPath);  // the key with everything below it
bool RegKeyExists(HKEY root, const char* keyPath);
// Whether a value is there, whatever its size or type.
bool RegValueExists(HKEY root, const char* keyPath, const char* valueName);

// Whether the key is there with neither values nor subkeys.
bool RegKeyIsEmpty(HKEY root, const char* keyPath);

// While one lives, every call reaches the 64-bit registry view on 64-bit Windows: where the 64-bit
// shell looks for what a program registers for it. Elsewhere it changes nothing.
class NativeRegistryView {
 public:
  NativeRegistryView();
  ~NativeRegistryView();
  NativeRegistryView(const NativeRegistryView&) = delete;
  NativeRegistryView& operator=(const NativeRegistryView&) = delete;
};

LONG WriteOwnRegString(const char* keyPath, const char* valueName, const char* text);
LONG WriteOwnRegDword(const char* keyPath, const char* valueName, DWORD number);
bool ReadOwnRegString(const char* keyPath, const char* valueName, char* out, size_t size, const char* defaultText);
DWORD GetOwnRegDword(const char* keyPath, const char* valueName, DWORD defaultNumber);

// Registry API calls made so far, for the benchmarks.
long RegistryCallCount();
// Writes that failed so far, on any thread: a setup that made one did not set everything up.
long RegistryWriteFailures();
