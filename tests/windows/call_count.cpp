#include "call_count.h"

#include <windows.h>
#include <string.h>

#include "import_swap.h"

const int kSlots = 16;

// Thunk i adds one to kvx_counts[i] and jumps to kvx_real[i]: the real function then runs with the
// caller's stack as the caller made it.
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

// Points this program's import slot of `name` from `library` at a counting thunk, once, for the
// whole run; the thunk's index, or -1 when the program does not import it.
int Hook(const char* library, const char* name) {
  for (int i = 0; i < hookedCount; ++i) {
    if (strcmp(hooked[i].name, name) == 0) return hooked[i].slot;
  }
  if (hookedCount == kSlots) return -1;
  int slot = hookedCount;
  kvx_real[slot] = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(library), name));
  ImportSwap* swap = new ImportSwap(library, name, kvx_count_thunks + 16 * slot);  // never put back
  hooked[hookedCount++] = {name, swap->Active() ? slot : -1};
  return hooked[hookedCount - 1].slot;
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
