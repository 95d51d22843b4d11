#include "import_swap.h"

#include <windows.h>

ImportSwap::ImportSwap(const char* dll, const char* function, void* replacement) {
  void* original = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), function));
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const IMAGE_NT_HEADERS* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (original == nullptr || imports.VirtualAddress == 0) return;
  for (const IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name != 0 && slot_ == nullptr; ++d) {
    for (void** s = reinterpret_cast<void**>(base + d->FirstThunk); *s != nullptr; ++s) {
      if (*s == original) {
        slot_ = s;
        break;
      }
    }
  }
  if (slot_ != nullptr && Write(replacement)) original_ = original;
}

ImportSwap::~ImportSwap() {
  if (original_ != nullptr) Write(original_);
}

bool ImportSwap::Write(void* value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection)) return false;
  *slot_ = value;
  VirtualProtect(slot_, sizeof *slot_, protection, &protection);
  return true;
}
