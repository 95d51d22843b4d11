#include "removal/wininit.h"

#include <string.h>

#include "platform/text.h"

long MergeRenameSection(const char* text, long length, const char* lines, char* out, size_t size) {
  // Where the lines go, and what comes before them there: after the header's line (a line end of
  // its own when the header ends the file), or in a new section at the end.
  long at = length;
  const char* before = length > 0 && text[length - 1] != '\n' ? "\r\n[rename]\r\n" : "[rename]\r\n";
  for (long start = 0; start < length;) {
    const char* feed = static_cast<const char*>(memchr(text + start, '\n', static_cast<size_t>(length - start)));
    long next = feed != nullptr ? feed + 1 - text : length;
    if (length - start >= 8 && EqualsNoCaseAscii(text + start, "[rename]", 8)) {
      at = next;
      before = feed != nullptr ? "" : "\r\n";
      break;
    }
    start = next;
  }
  long extra = static_cast<long>(strlen(before) + strlen(lines));
  if (static_cast<size_t>(length + extra) + 1 > size) return -1;
  // No file at all may come as a null text: nothing of it is copied then.
  if (at > 0) memcpy(out, text, static_cast<size_t>(at));
  CopyText(out + at, size - static_cast<size_t>(at), before);
  AppendText(out + at, size - static_cast<size_t>(at), lines);
  if (length > at) memcpy(out + at + extra, text + at, static_cast<size_t>(length - at));
  out[length + extra] = '\0';
  return length + extra;
}
