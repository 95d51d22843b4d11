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

// The text of a message id, translated; held in a ring of eight buffers, so a result stays valid
// through the next seven lookups.
const char* GetMessageText(int id);
