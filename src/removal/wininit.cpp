#include "removal/wininit.h"

#include <string.h>

#include "platform/text.h"

namespace {

const char kHeader[] = "[rename]";

// Where the line after a "[rename]" header begins, or -1.
long AfterHeader(const char* text, long length) {
  const long n = sizeof kHeader - 1;
  for (long start = 0; start + n <= length;) {
    if (EqualsNoCaseAscii(text + start, kHeader, static_cast<int>(n))) {
      const char* feed = static_cast<const char*>(memchr(text + start, '\n', static_cast<size_t>(length - start)));
      return feed != nullptr ? feed + 1 - text : -2;  // -2: the header ends the file
    }
    const char* feed = static_cast<const char*>(memchr(text + start, '\n', static_cast<size_t>(length - start)));
    if (feed == nullptr) break;
    start = feed + 1 - text;
  }
  return -1;
}

}  // namespace

long MergeRenameSection(const char* text, long length, const char* lines, char* out, long size) {
  long at = AfterHeader(text, length);
  bool newSection = at == -1;
  const char* before = newSection ? (length > 0 && text[length - 1] != '\n' ? "\r\n[rename]\r\n" : "[rename]\r\n")
                                  : at == -2 ? "\r\n" : "";
  if (at < 0) at = length;
  long extra = static_cast<long>(strlen(before) + strlen(lines));
  if (length + extra + 1 > size) return -1;
  // No file at all may come as a null text: nothing of it is copied then.
  if (at > 0) memcpy(out, text, static_cast<size_t>(at));
  CopyText(out + at, static_cast<size_t>(size - at), before);
  AppendText(out + at, static_cast<size_t>(size - at), lines);
  if (length > at) memcpy(out + at + extra, text + at, static_cast<size_t>(length - at));
  out[length + extra] = '\0';
  return length + extra;
}
