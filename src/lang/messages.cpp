#include "lang/messages.h"

#include "lang/language.h"
#include "lang/language_table.h"
#include "platform/paths.h"
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
  char path[kPathSize];
  HINSTANCE library = PathBesideProgram(path, sizeof path, "kvxlng.dll") ? LoadLibraryA(path) : nullptr;
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

HINSTANCE DialogTemplateModule(const char* name) {
  if (currentModule != nullptr && FindResourceA(currentModule, name, RT_DIALOG) != nullptr) {
    return currentModule;
  }
  return ownModule != nullptr ? ownModule : GetModuleHandleA(nullptr);
}

static char* NextRingBuffer() {
  ringPosition = (ringPosition + 1) % 8;
  char* text = messageRing[ringPosition];
  text[0] = '\0';
  return text;
}

const char* GetBuiltInMessageText(int id) {
  char* text = NextRingBuffer();
  if (LoadStringA(ownModule, static_cast<UINT>(id), text, kMessageSize) == 0) text[0] = '\0';
  return text;
}

const char* GetMessageText(int id) {
  char* text = NextRingBuffer();
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
