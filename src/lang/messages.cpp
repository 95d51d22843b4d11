#include "lang/messages.h"

#include "lang/language.h"
#include "platform/text.h"

static char messageRing[8][kMessageSize];
static int ringPosition = 0;

static char* NextRingBuffer() {
  ringPosition = (ringPosition + 1) % 8;
  char* text = messageRing[ringPosition];
  text[0] = '\0';
  return text;
}

void LoadBuiltInMessageText(int id, char* text) {
  if (LoadStringA(OwnResourceModule(), static_cast<UINT>(id), text, kMessageSize) == 0) text[0] = '\0';
}

const char* GetMessageText(int id) {
  char* text = NextRingBuffer();
  LoadMessageText(id, text);
  return text;
}

void LoadMessageText(int id, char* text) {
  text[0] = '\0';
  // With a language file the program's own texts are the keys, so the library's table is skipped.
  if (IsLanguageFileLoaded()) {
    LoadStringA(OwnResourceModule(), static_cast<UINT>(id), text, kMessageSize);
  } else if (LoadStringA(CurrentResourceModule(), static_cast<UINT>(id), text, kMessageSize) == 0) {
    text[0] = '\0';
    LoadStringA(OwnResourceModule(), static_cast<UINT>(id), text, kMessageSize);
  }
  TranslateText(text, kMessageSize, text, nullptr, kMessageDomain);
}
