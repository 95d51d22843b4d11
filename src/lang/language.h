// The language file "uninstall.lng" and the text direction, over the process-wide language table.
#pragma once
#include <stddef.h>

#include "lang/crc32.h"

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
