// The language table: the messages section of a language file, decoded, indexed and looked up.
// Pure: no <windows.h>; the program reads the file through a ByteSource over a file handle, the tests
// and the fuzzer through memory.
#pragma once
#include <stddef.h>

#include "lang/crc32.h"
#include "platform/array.h"

// Random access to the bytes of a file. ReadAt returns how many bytes it delivered (0 at or past
// the end, or on error).
class ByteSource {
 public:
  virtual long ReadAt(long offset, void* buffer, long size) = 0;

 protected:
  ~ByteSource() = default;
};

const char kLineBreakMark = '\f';
const long kSectionLimit = 65536;        // bytes read from the marker on
const long kSectionSlack = 1024;         // extra room allocated after them
const long kMarkerChunkSize = 8192;      // the marker is searched in chunks of this size,
const int kMarkerChunks = 16;            // at most this many,
const long kMarkerChunkOverlap = 16;     // overlapping by this much, so a split marker is found
extern const char kSectionMarker[14];    // "***messages**": what opens the messages section

// Offset of the messages-section marker in the source, or -1 when it is not within the searched range.
long FindSectionMarker(ByteSource& source);

// Replaces escapes and turns raw line ends into line-break marks, in place, over the first `count`
// bytes or up to the first NUL. Terminates the result and returns its length.
long DecodeSection(char* text, long count);

class LanguageResources {
 public:
  LanguageResources() = default;
  ~LanguageResources() { Unload(); }
  LanguageResources(const LanguageResources&) = delete;
  LanguageResources& operator=(const LanguageResources&) = delete;

  // Reads, decodes and indexes the messages section; false (and nothing loaded) when there is none.
  bool Load(ByteSource& source);
  void Unload();
  bool IsLoaded() const { return text_ != nullptr; }

  // Puts into `dst` (of `size` bytes) the translation of `src`, or `src` itself when the table has
  // no line for it. `dst` may be `src`. A value longer than the destination is cut to fit.
  void Translate(char* dst, size_t size, const char* src, const char* context, TextDomain domain) const;

  // True when the table translates the direction entry into "RTL".
  bool AsksForRightToLeft() const;

  bool IsRightToLeft() const { return rightToLeft_; }
  void SetRightToLeft(bool on) { rightToLeft_ = on; }

  long Length() const { return length_; }
  int IndexedLines() const { return lineIndex_.Count(); }

 private:
  void BuildLineIndex();
  const char* FindLine(const char* key) const;

  char* text_ = nullptr;
  long length_ = 0;
  Array<int> lineIndex_;
  bool rightToLeft_ = false;
};
