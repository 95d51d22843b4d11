#include "call_count.h"

#include <windows.h>
#include <string.h>

const int kSlots = 16;

// Thunk i adds one to kvx_counts[i] and jumps to kvx_real[i]: the real
// function then runs with the caller's stack as the caller made it.
extern "C" {
volatile LONG kvx_counts[kSlots];
void* kvx_real[kSlots];
}
__asm__(".text\n"
        ".balign 16\n"
        "_kvx_count_thunks:\n"
        ".set kvx_slot, 0\n"
        ".rept 16\n"
        ".balign 16\n"
        "lock incl _kvx_counts + 4 * kvx_slot\n"
        "jmp *_kvx_real + 4 * kvx_slot\n"
        ".set kvx_slot, kvx_slot + 1\n"
        ".endr\n");
extern "C" char kvx_count_thunks[] __asm__("_kvx_count_thunks");

namespace {

const char* const kRegistryFunctions[] = {"RegOpenKeyExA",  "RegCreateKeyExA", "RegSetValueExA",
                                          "RegQueryValueExA", "RegDeleteKeyA",  "RegDeleteValueA",
                                          "RegEnumKeyExA",  "RegCloseKey",     "RegQueryInfoKeyA"};
const char* const kVersionFunctions[] = {"GetVersionExA"};

struct Hooked {
  const char* name;
  int slot;
};
Hooked hooked[kSlots];
int hookedCount = 0;

// Points this program's import slot of `name` from `library` at a counting thunk, once; the
// thunk's index, or -1 when the program does not import it.
int Hook(const char* library, const char* name) {
  for (int i = 0; i < hookedCount; ++i) {
    if (strcmp(hooked[i].name, name) == 0) return hooked[i].slot;
  }
  if (hookedCount == kSlots) return -1;
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const IMAGE_NT_HEADERS* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int slot = -1;
  for (const IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name != 0 && slot < 0; ++d) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), library) != 0) continue;
    const IMAGE_THUNK_DATA* names =
        reinterpret_cast<const IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk != 0 ? d->OriginalFirstThunk : d->FirstThunk));
    IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* imported =
          reinterpret_cast<const char*>(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
      if (strcmp(imported, name) != 0) continue;
      slot = hookedCount;
      kvx_real[slot] = reinterpret_cast<void*>(slots->u1.Function);
      DWORD old;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
      slots->u1.Function = reinterpret_cast<DWORD_PTR>(kvx_count_thunks + 16 * slot);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
      break;
    }
  }
  hooked[hookedCount++] = {name, slot};
  return slot;
}

template <size_t N>
long Total(const char* library, const char* const (&names)[N]) {
  long total = 0;
  for (const char* name : names) {
    int slot = Hook(library, name);
    if (slot >= 0) total += kvx_counts[slot];
  }
  return total;
}

}  // namespace

long RegistryCalls() { return Total("advapi32.dll", kRegistryFunctions); }
long VersionQueries() { return Total("kernel32.dll", kVersionFunctions); }
