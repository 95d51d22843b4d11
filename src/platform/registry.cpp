#include "platform/registry.h"

#include <string.h>

#include "platform/handles.h"
#include "platform/process.h"
#include "platform/run_log.h"
#include "platform/text.h"

namespace {

volatile LONG failedWrites = 0;

// "what" and the key as the log names it: "HKLM\Software\...".
void DescribeKey(char* out, size_t size, const char* what, HKEY root, const char* keyPath) {
  CopyText(out, size, what);
  AppendText(out, size, root == HKEY_CLASSES_ROOT   ? "HKCR\\"
                        : root == HKEY_CURRENT_USER ? "HKCU\\"
                                                    : "HKLM\\");
  AppendText(out, size, keyPath);
}

void LogRemoved(HKEY root, const char* keyPath) {
  char what[2 * kRegNameSize];
  DescribeKey(what, sizeof what, "key removed: ", root, keyPath);
  LogStep(what);
}

HKEY OpenWithRights(HKEY root, const char* keyPath, REGSAM rights) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, keyPath, 0, rights, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

LONG WriteValue(HKEY root, const char* keyPath, const char* valueName, DWORD type, const void* data, size_t size,
                REGSAM view) {
  RegKey key(CreateRegKey(root, keyPath, view));
  LONG status = ERROR_CANTWRITE;
  if (key.Get() != nullptr) {
    status = RegSetValueExA(key.Get(), valueName, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
  }
  if (status != ERROR_SUCCESS) {
    InterlockedIncrement(&failedWrites);
    char what[3 * kRegNameSize];
    DescribeKey(what, sizeof what, "registry write failed: ", root, keyPath);
    AppendText(what, sizeof what, valueName != nullptr && valueName[0] != '\0' ? ", value " : ", default value");
    if (valueName != nullptr) AppendText(what, sizeof what, valueName);
    LogError(what, static_cast<unsigned long>(status));
  }
  return status;
}

// Reads up to `size` bytes; returns how many, or -1 when the value is missing or larger.
long ReadValue(HKEY root, const char* keyPath, const char* valueName, void* out, size_t size) {
  RegKey key(OpenRegKey(root, keyPath));
  if (key.Get() == nullptr) return -1;
  DWORD type = 0;
  DWORD got = static_cast<DWORD>(size);
  if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, static_cast<BYTE*>(out), &got) != ERROR_SUCCESS) {
    return -1;
  }
  return got <= size ? static_cast<long>(got) : -1;
}

typedef LONG(WINAPI* DeleteKeyExFunction)(HKEY, const char*, REGSAM, DWORD);

// RegDeleteKeyA always works in the program's own view; in the other one RegDeleteKeyExA, which
// only 64-bit Windows (where alone that view is ever asked for) is sure to have. Deletes a key
// without subkeys, or on the 9x family any key with all below it.
LONG DeleteOne(HKEY parent, const char* name, REGSAM view) {
  if (view == 0) return RegDeleteKeyA(parent, name);
  DeleteKeyExFunction deleteKeyEx = reinterpret_cast<DeleteKeyExFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  return deleteKeyEx != nullptr ? deleteKeyEx(parent, name, view, 0) : ERROR_CALL_NOT_IMPLEMENTED;
}

// The subkeys of `name` (below `parent`) depth-first, always the first one left, then the key. A
// subkey that cannot go (or whose name does not fit) is stepped over, so its siblings still go.
LONG DeleteTreeBelow(HKEY parent, const char* name, REGSAM view, int depth) {
  // The 9x family deletes a key with all its subkeys in one call.
  if (GetNtMajorVersion() == 0 && DeleteOne(parent, name, view) == ERROR_SUCCESS) return ERROR_SUCCESS;
  if (depth < 64) {
    RegKey key(OpenWithRights(parent, name, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | view));
    if (key.Get() == nullptr) return ERROR_FILE_NOT_FOUND;
    for (DWORD index = 0;;) {
      char child[kRegNameSize];
      DWORD length = sizeof child;
      LONG status = RegEnumKeyExA(key.Get(), index, child, &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_MORE_DATA) {
        ++index;
        continue;
      }
      if (status != ERROR_SUCCESS) break;
      if (DeleteTreeBelow(key.Get(), child, view, depth + 1) != ERROR_SUCCESS) ++index;
    }
  }
  return DeleteOne(parent, name, view);
}

}  // namespace

long RegistryWriteFailures() { return failedWrites; }

HKEY CreateRegKey(HKEY root, const char* keyPath, REGSAM view) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view, nullptr, &key,
                      &disposition) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

HKEY OpenRegKey(HKEY root, const char* keyPath, REGSAM view) {
  return OpenWithRights(root, keyPath, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view);
}

bool CloseRegKey(HKEY key) {
  return RegCloseKey(key) == ERROR_SUCCESS;
}

LONG WriteRegString(HKEY root, const char* keyPath, const char* valueName, const char* text, REGSAM view) {
  return WriteValue(root, keyPath, valueName, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1), view);
}

LONG WriteRegDword(HKEY root, const char* keyPath, const char* valueName, DWORD number) {
  BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                   static_cast<BYTE>(number >> 24)};
  return WriteValue(root, keyPath, valueName, REG_DWORD, bytes, sizeof bytes, 0);
}

LONG WriteRegBinary(HKEY root, const char* keyPath, const char* valueName, const void* data, size_t size) {
  return WriteValue(root, keyPath, valueName, REG_BINARY, data, size, 0);
}

bool ReadRegString(HKEY root, const char* keyPath, const char* valueName, char* out, size_t size,
                   const char* defaultText) {
  if (size == 0) return false;
  long got = ReadValue(root, keyPath, valueName, out, size);
  // Data stored without a NUL that fills the buffer would come back unterminated: it does not fit.
  if (got >= 0 && (static_cast<size_t>(got) < size || out[got - 1] == '\0')) {
    if (static_cast<size_t>(got) < size) out[got] = '\0';
    return true;
  }
  CopyText(out, size, defaultText);
  return false;
}

bool ReadRegDword(HKEY root, const char* keyPath, const char* valueName, DWORD* out, DWORD defaultNumber) {
  // A shorter value (another tool's one-byte binary 00, say) is its number, zero-extended.
  BYTE bytes[4] = {0, 0, 0, 0};
  if (ReadValue(root, keyPath, valueName, bytes, sizeof bytes) > 0) {
    *out = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
           static_cast<DWORD>(bytes[3]) << 24;
    return true;
  }
  *out = defaultNumber;
  return false;
}

DWORD GetRegDword(HKEY root, const char* keyPath, const char* valueName, DWORD defaultNumber) {
  DWORD number = defaultNumber;
  ReadRegDword(root, keyPath, valueName, &number, defaultNumber);
  return number;
}

long ReadRegBinary(HKEY root, const char* keyPath, const char* valueName, void* out, size_t size) {
  return ReadValue(root, keyPath, valueName, out, size);
}

LONG DeleteRegKey(HKEY root, const char* keyPath, REGSAM view) {
  if (keyPath[0] == '\0') return ERROR_INVALID_PARAMETER;  // never the root itself
  LONG status = DeleteOne(root, keyPath, view);
  if (status == ERROR_SUCCESS) LogRemoved(root, keyPath);
  return status;
}

LONG DeleteRegValue(HKEY root, const char* keyPath, const char* valueName, REGSAM view) {
  RegKey key(OpenWithRights(root, keyPath, KEY_SET_VALUE | view));
  if (key.Get() == nullptr) return ERROR_FILE_NOT_FOUND;
  return RegDeleteValueA(key.Get(), valueName);
}

LONG DeleteRegTree(HKEY root, const char* keyPath, REGSAM view) {
  if (keyPath[0] == '\0') return ERROR_INVALID_PARAMETER;  // never the root itself
  LONG status = DeleteTreeBelow(root, keyPath, view, 0);
  if (status == ERROR_SUCCESS) LogRemoved(root, keyPath);
  return status;
}

bool RegKeyExists(HKEY root, const char* keyPath) {
  RegKey key(OpenWithRights(root, keyPath, KEY_QUERY_VALUE));
  return key.Get() != nullptr;
}

bool RegValueExists(HKEY root, const char* keyPath, const char* valueName) {
  RegKey key(OpenRegKey(root, keyPath));
  if (key.Get() == nullptr) return false;
  return RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegKeyIsEmpty(HKEY root, const char* keyPath, REGSAM view) {
  RegKey key(OpenWithRights(root, keyPath, KEY_QUERY_VALUE | view));
  DWORD subkeys = 1, values = 1;
  return key.Get() != nullptr && RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                  &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

REGSAM NativeRegistryView() {
  typedef BOOL(WINAPI * IsWow64Function)(HANDLE, BOOL*);
  IsWow64Function isWow64 = reinterpret_cast<IsWow64Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
}
