#include "platform/registry.h"

#include <string.h>

#include "platform/handles.h"
#include "platform/process.h"
#include "platform/run_log.h"
#include "platform/text.h"

static long registryCalls = 0;
static volatile LONG failedWrites = 0;  // any thread's: a silent setup commits on one of its own
static int deletedKeys = 0;  // keys deleted by the current tree-deletion pass
static REGSAM viewRights = 0;  // KEY_WOW64_64KEY while a NativeRegistryView lives

long RegistryCallCount() { return registryCalls; }
long RegistryWriteFailures() { return failedWrites; }

namespace {

// "what" and the key as the log names it: "HKLM\Software\...".
void DescribeKey(char* out, size_t size, const char* what, HKEY root, const char* keyPath) {
  char built[kRegPathSize];
  BuildRegKeyPath(built, sizeof built, root, keyPath);
  CopyText(out, size, what);
  AppendText(out, size, root == HKEY_CLASSES_ROOT   ? "HKCR\\"
                        : root == HKEY_CURRENT_USER ? "HKCU\\"
                                                    : "HKLM\\");
  AppendText(out, size, built);
}

HKEY OpenBuilt(HKEY root, const char* builtPath, REGSAM rights) {
  HKEY key = nullptr;
  ++registryCalls;
  if (RegOpenKeyExA(root, builtPath, 0, rights | viewRights, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

HKEY OpenWithRights(HKEY root, const char* keyPath, REGSAM rights) {
  char built[kRegPathSize];
  if (!BuildRegKeyPath(built, sizeof built, root, keyPath)) return nullptr;
  return OpenBuilt(root, built, rights);
}

LONG WriteValue(HKEY root, const char* keyPath, const char* valueName, DWORD type, const void* data, size_t size) {
  RegKey key(CreateRegKey(root, keyPath));
  LONG status = ERROR_CANTWRITE;
  if (key.Get() != nullptr) {
    ++registryCalls;
    status = RegSetValueExA(key.Get(), valueName, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
  }
  if (status != ERROR_SUCCESS) {
    InterlockedIncrement(&failedWrites);
    char what[kRegPathSize + kRegNameSize];
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
  ++registryCalls;
  if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, static_cast<BYTE*>(out), &got) != ERROR_SUCCESS) {
    return -1;
  }
  return got <= size ? static_cast<long>(got) : -1;
}

typedef LONG(WINAPI* DeleteKeyExFunction)(HKEY, const char*, REGSAM, DWORD);

// RegDeleteKeyA always works in the program's own view; in the other one RegDeleteKeyExA, which
// only 64-bit Windows (where alone that view is ever asked for) is sure to have.
LONG DeleteBuilt(HKEY root, const char* builtPath) {
  ++registryCalls;
  if (viewRights == 0) return RegDeleteKeyA(root, builtPath);
  DeleteKeyExFunction deleteKeyEx = reinterpret_cast<DeleteKeyExFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  return deleteKeyEx != nullptr ? deleteKeyEx(root, builtPath, viewRights, 0) : ERROR_CALL_NOT_IMPLEMENTED;
}

// True when the key at `path` itself went.
bool EraseRegTreePass(HKEY root, const char* path) {
  if (path[0] == '\0') return false;  // never the root itself
  {
    RegKey key(OpenBuilt(root, path, KEY_READ));
    if (key.Get() == nullptr) return false;
    for (DWORD index = 0;; ++index) {
      char name[kRegNameSize];
      DWORD length = sizeof name;
      ++registryCalls;
      LONG status = RegEnumKeyExA(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
      // A name too long for the buffer is skipped, not the end: its siblings still go.
      if (status == ERROR_MORE_DATA) continue;
      if (status != ERROR_SUCCESS) break;
      // A child path that does not fit is left alone (with its parents), rather than cut to
      // some other key's name.
      char child[kRegChildPathSize];
      if (!CopyText(child, sizeof child, path) || !AppendText(child, sizeof child, "\\") ||
          !AppendText(child, sizeof child, name)) {
        continue;
      }
      EraseRegTreePass(root, child);
    }
  }
  if (DeleteBuilt(root, path) != ERROR_SUCCESS) return false;
  ++deletedKeys;
  return true;
}

// True when the key was there and went.
bool EraseRegTree(HKEY root, const char* path) {
  if (path[0] == '\0') return false;
  // The 9x family deletes a key with all its subkeys in one call.
  if (GetNtMajorVersion() == 0) {
    if (DeleteBuilt(root, path) == ERROR_SUCCESS) return true;
  }
  // The NT family deletes only keys without subkeys: depth-first passes until one deletes nothing.
  bool erased = false;
  do {
    deletedKeys = 0;
    erased = EraseRegTreePass(root, path) || erased;
  } while (deletedKeys != 0);
  return erased;
}

void LogRemoved(HKEY root, const char* keyPath) {
  char what[kRegPathSize + 32];
  DescribeKey(what, sizeof what, "key removed: ", root, keyPath);
  LogStep(what);
}

}  // namespace

bool BuildRegKeyPath(char* out, size_t size, HKEY root, const char* keyPath) {
  bool fits;
  if (root == HKEY_CURRENT_USER) {
    if (keyPath[0] == '\\') {
      fits = CopyText(out, size, keyPath + 1);
    } else {
      fits = CopyText(out, size, "Software\\Korvex");
      if (keyPath[0] != '\0') {
        fits = fits && AppendText(out, size, "\\") &&
               AppendText(out, size, keyPath);
      }
    }
  } else {
    fits = CopyText(out, size, keyPath);
  }
  if (!fits && size != 0) out[0] = '\0';
  return fits;
}

HKEY CreateRegKey(HKEY root, const char* keyPath) {
  char built[kRegPathSize];
  if (!BuildRegKeyPath(built, sizeof built, root, keyPath)) return nullptr;
  HKEY key = nullptr;
  DWORD disposition = 0;
  ++registryCalls;
  if (RegCreateKeyExA(root, built, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | viewRights, nullptr, &key,
                      &disposition) !=
      ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

HKEY OpenRegKey(HKEY root, const char* keyPath) {
  return OpenWithRights(root, keyPath, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
}

bool CloseRegKey(HKEY key) {
  ++registryCalls;
  return RegCloseKey(key) == ERROR_SUCCESS;
}

LONG WriteRegString(HKEY root, const char* keyPath, const char* valueName, const char* text) {
  return WriteValue(root, keyPath, valueName, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

LONG WriteRegDword(HKEY root, const char* keyPath, const char* valueName, DWORD number) {
  BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                   static_cast<BYTE>(number >> 24)};
  return WriteValue(root, keyPath, valueName, REG_DWORD, bytes, sizeof bytes);
}

LONG WriteRegBinary(HKEY root, const char* keyPath, const char* valueName, const void* data, size_t size) {
  return WriteValue(root, keyPath, valueName, REG_BINARY, data, size);
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

LONG DeleteRegKey(HKEY root, const char* keyPath) {
  char built[kRegPathSize];
  if (!BuildRegKeyPath(built, sizeof built, root, keyPath)) return ERROR_INVALID_PARAMETER;
  LONG status = DeleteBuilt(root, built);
  if (status == ERROR_SUCCESS) LogRemoved(root, keyPath);
  return status;
}

void DeleteRegValue(HKEY root, const char* keyPath, const char* valueName) {
  RegKey key(OpenWithRights(root, keyPath, KEY_WRITE));
  if (key.Get() == nullptr) return;
  ++registryCalls;
  RegDeleteValueA(key.Get(), valueName);
}

void DeleteRegTree(HKEY root, const char* keyPath) {
  char built[kRegTreePathSize];
  if (!BuildRegKeyPath(built, sizeof built, root, keyPath)) return;
  if (EraseRegTree(root, built)) LogRemoved(root, keyPath);
}

bool RegKeyExists(HKEY root, const char* keyPath) {
  RegKey key(OpenWithRights(root, keyPath, KEY_QUERY_VALUE));
  return key.Get() != nullptr;
}

bool RegValueExists(HKEY root, const char* keyPath, const char* valueName) {
  RegKey key(OpenRegKey(root, keyPath));
  if (key.Get() == nullptr) return false;
  ++registryCalls;
  return RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

LONG WriteOwnRegString(const char* keyPath, const char* valueName, const char* text) {
  return WriteRegString(HKEY_CURRENT_USER, keyPath, valueName, text);
}

LONG WriteOwnRegDword(const char* keyPath, const char* valueName, DWORD number) {
  return WriteRegDword(HKEY_CURRENT_USER, keyPath, valueName, number);
}

bool ReadOwnRegString(const char* keyPath, const char* valueName, char* out, size_t size, const char* defaultText) {
  return ReadRegString(HKEY_CURRENT_USER, keyPath, valueName, out, size, defaultText);
}

DWORD GetOwnRegDword(const char* keyPath, const char* valueName, DWORD defaultNumber) {
  return GetRegDword(HKEY_CURRENT_USER, keyPath, valueName, defaultNumber);
}

bool RegKeyIsEmpty(HKEY root, const char* keyPath) {
  RegKey key(OpenWithRights(root, keyPath, KEY_QUERY_VALUE));
  DWORD subkeys = 1, values = 1;
  ++registryCalls;
  return key.Get() != nullptr && RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                  &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

typedef BOOL(WINAPI* IsWow64Function)(HANDLE, BOOL*);

NativeRegistryView::NativeRegistryView() {
  IsWow64Function isWow64 = reinterpret_cast<IsWow64Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  if (isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64) viewRights = KEY_WOW64_64KEY;
}

NativeRegistryView::~NativeRegistryView() { viewRights = 0; }
