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
