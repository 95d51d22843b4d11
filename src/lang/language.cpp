#include <string.h>
#include <windows.h>

#include <new>

#include "lang/language.h"
#include "lang/language_table.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/text.h"

// No static object here has a destructor to run: the program ends with ExitProcess and runs none.
// The end of its flow unloads the library; the table's memory is the process heap's.
static ExtResource LanguageLibrary;

namespace {

// Built in place on first use and never destroyed.
LanguageResources& Table() {
  alignas(LanguageResources) static unsigned char storage[sizeof(LanguageResources)];
  static LanguageResources* table = nullptr;
  if (table == nullptr) table = new (storage) LanguageResources;
  return *table;
}

class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(HANDLE file) : file_(file) {}
  long ReadAt(long offset, void* buffer, long size) override {
    if (SetFilePointer(file_, offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return 0;
    long total = 0;
    while (total < size) {
      DWORD got = 0;
      if (!ReadFile(file_, static_cast<char*>(buffer) + total, static_cast<DWORD>(size - total), &got, nullptr) ||
          got == 0) {
        break;
      }
      total += static_cast<long>(got);
    }
    return total;
  }

 private:
  HANDLE file_;
};

}  // namespace

void ExtResource::LoadLanguageLibrary(HINSTANCE own) {
  UnloadLanguageLibrary();
  own_ = own;
  char path[kPathSize];
  library_ = PathBesideProgram(path, sizeof path, "kvxlng.dll") ? LoadLibraryA(path) : nullptr;
}

void ExtResource::UnloadLanguageLibrary() {
  if (library_ == nullptr) return;
  FreeLibrary(library_);
  library_ = nullptr;
}

void LoadLanguageLibrary(HINSTANCE own) { LanguageLibrary.LoadLanguageLibrary(own); }

void UnloadLanguageLibrary() { LanguageLibrary.UnloadLanguageLibrary(); }

bool IsLanguageLibraryLoaded() { return LanguageLibrary.IsLoaded(); }

HINSTANCE CurrentResourceModule() { return LanguageLibrary.Current(); }

HINSTANCE OwnResourceModule() { return LanguageLibrary.Own(); }

HINSTANCE DialogTemplateModule(const char* name) {
  HINSTANCE current = LanguageLibrary.Current();
  if (current != nullptr && FindResourceA(current, name, RT_DIALOG) != nullptr) return current;
  return LanguageLibrary.Own() != nullptr ? LanguageLibrary.Own() : GetModuleHandleA(nullptr);
}

void LoadLanguageFile(const char* name) {
  Table().Unload();
  char path[kPathSize];
  // A path that does not fit is not the file asked for: load nothing.
  bool found = strchr(name, '\\') != nullptr ? CopyText(path, sizeof path, name)
                                               : PathBesideProgram(path, sizeof path, name);
  if (found) {
    KernelHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.IsValid()) {
      FileByteSource source(file.Get());
      Table().Load(source);
    }
  }
  DetectTextDirection();
}

bool IsLanguageFileLoaded() { return Table().IsLoaded(); }

void TranslateText(char* dst, size_t size, const char* src, const char* context, TextDomain domain) {
  Table().Translate(dst, size, src, context, domain);
}

bool IsRightToLeft() { return Table().IsRightToLeft(); }

void DetectTextDirection() {
  bool rtl = FindResourceA(CurrentResourceModule(), "RTL", MAKEINTRESOURCEA(5)) != nullptr ||
             Table().AsksForRightToLeft();
  Table().SetRightToLeft(rtl);
}
