#include "lang/messages.h"

#include "lang/language.h"
#include "lang/language_table.h"
#include "platform/text.h"

// Built in this order before WinMain and destroyed in the reverse order after it: the library is
// unloaded before the language table frees its memory.
LanguageResources LanguageTable;
static ExtResource LanguageLibrary;

static HINSTANCE ownModule = nullptr;
static HINSTANCE libraryModule = nullptr;
static HINSTANCE currentModule = nullptr;

static char messageRing[8][kMessageSize];
static int ringPosition = 0;

void ExtResource::LoadLanguageLibrary(HINSTANCE own) {
  UnloadLanguageLibrary();
  char path[1024];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  path[n < sizeof path ? n : sizeof path - 1] = '\0';
  char* name = FindFileNamePart(path);
  bool fits = CopyText(name, sizeof path - static_cast<size_t>(name - path), "kvxlng.dll");
  HINSTANCE library = fits ? LoadLibraryA(path) : nullptr;
  libraryModule = library;
  loaded_ = library != nullptr;
  currentModule = loaded_ ? library : own;
  ownModule = own;
}

void ExtResource::UnloadLanguageLibrary() {
  if (!loaded_) return;
  FreeLibrary(libraryModule);
  libraryModule = nullptr;
  currentModule = ownModule;
  loaded_ = false;
}

void LoadLanguageLibrary(HINSTANCE own) { LanguageLibrary.LoadLanguageLibrary(own); }

void UnloadLanguageLibrary() { LanguageLibrary.UnloadLanguageLibrary(); }

bool IsLanguageLibraryLoaded() { return LanguageLibrary.IsLoaded(); }

HINSTANCE CurrentResourceModule() { return currentModule; }

const char* GetMessageText(int id) {
  ringPosition = (ringPosition + 1) % 8;
  char* text = messageRing[ringPosition];
  text[0] = '\0';
  // With a language file the program's own texts are the keys, so the library's table is skipped.
  if (IsLanguageFileLoaded()) {
    LoadStringA(ownModule, static_cast<UINT>(id), text, kMessageSize);
  } else if (LoadStringA(currentModule, static_cast<UINT>(id), text, kMessageSize) == 0) {
    text[0] = '\0';
    LoadStringA(ownModule, static_cast<UINT>(id), text, kMessageSize);
  }
  TranslateText(text, kMessageSize, text, nullptr, kMessageDomain);
  return text;
}
