// The loaded language: the optional language library "kvxlng.dll" (dialogs, icon and messages of
// another language) and the language file "uninstall.lng" (translations keyed by the program's own
// texts) with the text direction. This unit owns both for the whole run; the end of the program's
// flow unloads the library (no static destructors run: the program ends with ExitProcess).
#pragma once
#include <stddef.h>
#include <windows.h>

#include "lang/crc32.h"

// The language library and the modules resources come from. While it is loaded it is the current
// resource module; otherwise the program's own module is.
class ExtResource {
 public:
  ExtResource() = default;
  ExtResource(const ExtResource&) = delete;
  ExtResource& operator=(const ExtResource&) = delete;

  void LoadLanguageLibrary(HINSTANCE ownModule);
  void UnloadLanguageLibrary();
  bool IsLoaded() const { return library_ != nullptr; }
  HINSTANCE Own() const { return own_; }
  HINSTANCE Current() const { return library_ != nullptr ? library_ : own_; }

 private:
  HINSTANCE own_ = nullptr;
  HINSTANCE library_ = nullptr;
};

void LoadLanguageLibrary(HINSTANCE ownModule);
void UnloadLanguageLibrary();
bool IsLanguageLibraryLoaded();

HINSTANCE CurrentResourceModule();
// The program's own module, as given to LoadLanguageLibrary.
HINSTANCE OwnResourceModule();
// The module whose dialog template `name` is shown: the current one when it has the template, the
// program's own otherwise.
HINSTANCE DialogTemplateModule(const char* name);

// Loads the messages section of `name` (beside the program unless the name holds a "\"), then
// decides the text direction.
void LoadLanguageFile(const char* name);
bool IsLanguageFileLoaded();

// Translation of `src` into `dst` (of `size` bytes; may be `src`), or `src` itself.
void TranslateText(char* dst, size_t size, const char* src, const char* context, TextDomain domain);

bool IsRightToLeft();

// An "RTL" dialog resource in the current resource module, or the language file's direction entry
// translated to "RTL", makes dialogs right to left.
void DetectTextDirection();
