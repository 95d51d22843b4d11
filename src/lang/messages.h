// Message lookup and the optional language library "kvxlng.dll".
#pragma once
#include <windows.h>

const int kMessageSize = 256;

// The language library: while it is loaded it is the current resource module.
class ExtResource {
 public:
  ExtResource() = default;
  ~ExtResource() { UnloadLanguageLibrary(); }
  ExtResource(const ExtResource&) = delete;
  ExtResource& operator=(const ExtResource&) = delete;

  void LoadLanguageLibrary(HINSTANCE ownModule);
  void UnloadLanguageLibrary();
  bool IsLoaded() const { return loaded_; }

 private:
  bool loaded_ = false;
};

void LoadLanguageLibrary(HINSTANCE ownModule);
void UnloadLanguageLibrary();
bool IsLanguageLibraryLoaded();

HINSTANCE CurrentResourceModule();
// The module whose dialog template `name` is shown: the current one when it has the template, the
// program's own otherwise.
HINSTANCE DialogTemplateModule(const char* name);

// The text of a message id, translated; held in a ring of eight buffers, so a result stays valid
// through the next seven lookups.
const char* GetMessageText(int id);
// The program's own text of a message, neither from the library nor translated: for a place where
// a translation cannot be used as it stands. Shares the ring with GetMessageText.
const char* GetBuiltInMessageText(int id);
