#include <string.h>
#include <windows.h>

#include "lang/language.h"
#include "lang/language_table.h"
#include "lang/messages.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/text.h"

// Defined beside the language library's object, so that the two are built and destroyed in order.
extern LanguageResources LanguageTable;

namespace {

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

void LoadLanguageFile(const char* name) {
  LanguageTable.Unload();
  char path[kPathSize];
  // A path that does not fit is not the file asked for: load nothing.
  bool found = strchr(name, '\\') != nullptr ? CopyText(path, sizeof path, name)
                                               : PathBesideProgram(path, sizeof path, name);
  if (found) {
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.IsValid()) {
      FileByteSource source(file.Get());
      LanguageTable.Load(source);
    }
  }
  DetectTextDirection();
}

bool IsLanguageFileLoaded() { return LanguageTable.IsLoaded(); }

void TranslateText(char* dst, size_t size, const char* src, const char* context, TextDomain domain) {
  LanguageTable.Translate(dst, size, src, context, domain);
}

bool IsRightToLeft() { return LanguageTable.IsRightToLeft(); }

void DetectTextDirection() {
  bool rtl = FindResourceA(CurrentResourceModule(), "RTL", MAKEINTRESOURCEA(5)) != nullptr ||
             LanguageTable.AsksForRightToLeft();
  LanguageTable.SetRightToLeft(rtl);
}
