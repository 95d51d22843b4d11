#include "platform/file_list.h"

#include <string.h>

#include "platform/text.h"

char* NextListEntry(char** cursor, char* end) {
  while (*cursor < end) {
    char* line = *cursor;
    char* feed = static_cast<char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
    char* lineEnd = feed != nullptr ? feed : end;
    *cursor = feed != nullptr ? feed + 1 : end;
    if (*cursor - line > kListLineSize - 1) continue;
    *lineEnd = '\0';
    if (TrimTrailingBlanks(line)[0] != '\0') return line;
  }
  return nullptr;
}

ListEncoding ListTextEncoding(const char* text, unsigned long size, unsigned long* markSize) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  *markSize = 3;
  if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return ListEncoding::Utf8;
  *markSize = 2;
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return ListEncoding::Utf16Le;
  if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return ListEncoding::Utf16Be;
  *markSize = 0;
  return ListEncoding::Ansi;
}
