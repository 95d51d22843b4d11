#include "lang/language_table.h"

#include <string.h>

#include <algorithm>

#include "platform/memory.h"
#include "platform/text.h"

const char kSectionMarker[14] = "***messages**";
static const long kMarkerLength = 13;
static const size_t kKeyLength = 8;
// Without a line-break mark after it, a value on the last line is read up to this many characters.
static const long kLastLineValueLimit = 255;

long FindSectionMarker(ByteSource& source) {
  char chunk[kMarkerChunkSize];
  long position = 0;
  for (int i = 0; i < kMarkerChunks; ++i) {
    long got = source.ReadAt(position, chunk, kMarkerChunkSize);
    if (got < kMarkerChunkOverlap) return -1;
    for (long k = 0; k + kMarkerLength <= got; ++k) {
      if (memcmp(chunk + k, kSectionMarker, kMarkerLength) == 0) return position + k;
    }
    position += got - kMarkerChunkOverlap;
  }
  return -1;
}

long DecodeSection(char* text, long count) {
  long out = 0;
  for (long in = 0; in < count && text[in] != '\0'; ++in) {
    char c = text[in];
    if (c == '\\' && in + 1 < count) {
      char replaced = 0;
      switch (text[in + 1]) {
        case '"': replaced = '"'; break;
        case '\\': replaced = '\\'; break;
        case 'n': replaced = '\n'; break;
        case 'r': replaced = '\r'; break;
        case 't': replaced = '\t'; break;
        default: break;
      }
      if (replaced != 0) {
        // An escaped line end belongs to the value: it is stored as itself, never as a mark.
        text[out++] = replaced;
        ++in;
        continue;
      }
    }
    text[out++] = (c == '\r' || c == '\n') ? kLineBreakMark : c;
  }
  text[out] = '\0';
  return out;
}

// Lines are ordered by their first eight bytes, compared unsigned and stopping at a NUL.
static int CompareKeys(const char* a, const char* b) { return strncmp(a, b, kKeyLength); }

void LanguageResources::BuildLineIndex() {
  // The marker's own line (offset 0) and lines starting in the last eight characters hold no entry.
  for (long k = 1; k < length_ - static_cast<long>(kKeyLength); ++k) {
    if (text_[k - 1] == kLineBreakMark && text_[k] != kLineBreakMark) lineIndex_.Add(static_cast<int>(k));
  }
  const char* text = text_;
  std::sort(lineIndex_.Items(), lineIndex_.Items() + lineIndex_.Count(),
            [text](int a, int b) { return CompareKeys(text + a, text + b) < 0; });
}

bool LanguageResources::Load(ByteSource& source) {
  Unload();
  long marker = FindSectionMarker(source);
  if (marker < 0) return false;
  char* text = static_cast<char*>(AllocateMemory(kSectionLimit + kSectionSlack));
  if (text == nullptr) return false;
  long got = source.ReadAt(marker, text, kSectionLimit);
  if (got < 0) got = 0;
  text_ = text;
  length_ = DecodeSection(text_, got);
  BuildLineIndex();
  return true;
}

void LanguageResources::Unload() {
  FreeMemory(text_);
  text_ = nullptr;
  length_ = 0;
  lineIndex_.Clear();
}

const char* LanguageResources::FindLine(const char* key) const {
  // Binary search over the index; it accepts a line on its first eight characters alone.
  const int* low = lineIndex_.Items();
  int n = lineIndex_.Count();
  while (n > 0) {
    int half = n / 2;
    const char* line = text_ + low[half];
    int c = CompareKeys(key, line);
    if (c == 0) return line;
    if (c < 0) {
      n = half;
    } else {
      low += half + 1;
      n -= half + 1;
    }
  }
  // A miss scans every line, the marker's line included, for a well-formed entry.
  const char* p = text_;
  while (*p != '\0') {
    if (strncmp(p, key, kKeyLength) == 0 && p[kKeyLength] == '=' && p[kKeyLength + 1] == '"') return p;
    const char* mark = strchr(p, kLineBreakMark);
    if (mark == nullptr) break;
    p = mark;
    while (*p == kLineBreakMark) ++p;
  }
  return nullptr;
}

void LanguageResources::Translate(char* dst, size_t size, const char* src, const char* context,
                                  TextDomain domain) const {
  const char* line = nullptr;
  if (IsLoaded()) {
    char key[kKeyLength + 1];
    MakeTextKey(key, domain, context, src);
    line = FindLine(key);
  }
  if (line == nullptr) {
    if (dst != src) CopyText(dst, size, src);
    return;
  }
  // The value starts after `key="`. An index hit on a line shorter than that has an empty value:
  // neither the next line nor the bytes after the section belong to it.
  const char* end = text_ + length_;
  const char* value = line;
  while (value < line + kKeyLength + 2 && *value != '\0' && *value != kLineBreakMark) ++value;
  if (value < line + kKeyLength + 2) {
    if (size > 0) dst[0] = '\0';
    return;
  }
  const char* stop = strchr(value, kLineBreakMark);
  if (stop == nullptr) {
    long rest = static_cast<long>(end - value);
    stop = value + (rest < kLastLineValueLimit ? rest : kLastLineValueLimit);
  }
  // The value ends at the line's last quote; without one it runs to the end of the line, and the
  // line-break mark is not part of it.
  for (const char* q = stop; q > value; --q) {
    if (q[-1] == '"') {
      stop = q - 1;
      break;
    }
  }
  if (size == 0) return;
  size_t n = static_cast<size_t>(stop - value);
  if (n > size - 1) n = size - 1;
  memcpy(dst, value, n);
  dst[n] = '\0';
}

bool LanguageResources::AsksForRightToLeft() const {
  char direction[1024];
  Translate(direction, sizeof direction, "LTR", "LTR", kDialogDomain);
  return strcmp(direction, "RTL") == 0;
}
