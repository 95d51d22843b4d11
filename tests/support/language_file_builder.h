// Language files in memory, shared by the native tests, the fuzzer and the benchmark: entry lines
// with real keys, a byte source over memory, and load/translate shorthands.
#pragma once
#include <stddef.h>
#include <string.h>

#include <string>
#include <utility>

#include "lang/crc32.h"
#include "lang/language_table.h"

inline std::string KeyOf(TextDomain domain, const char* context, const std::string& text) {
  char key[9];
  MakeTextKey(key, domain, context, text.c_str());
  return key;
}

// One entry line, without its line end.
inline std::string EntryLine(TextDomain domain, const char* context, const std::string& text, const std::string& value) {
  return KeyOf(domain, context, text) + "=\"" + value + "\"";
}

// Reads from bytes it owns (the string constructor) or from bytes the caller keeps alive (the
// pointer constructor, which copies nothing: the fuzzer's input, a benchmark's large file).
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string bytes)
      : owned_(std::move(bytes)), data_(owned_.data()), size_(static_cast<long>(owned_.size())) {}
  MemorySource(const void* data, size_t size) : data_(static_cast<const char*>(data)), size_(static_cast<long>(size)) {}
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;

  long ReadAt(long offset, void* buffer, long size) override {
    ++reads;
    if (offset < 0 || offset >= size_ || size <= 0) return 0;
    long n = size_ - offset;
    if (n > size) n = size;
    memcpy(buffer, data_ + offset, static_cast<size_t>(n));
    return n;
  }
  int reads = 0;

 private:
  std::string owned_;
  const char* data_;
  long size_;
};

// Loads `file` into `table`; true when a messages section was found.
inline bool LoadFromString(LanguageResources& table, const std::string& file) {
  MemorySource source(file.data(), file.size());
  return table.Load(source);
}

inline std::string Translated(const LanguageResources& table, const std::string& text, TextDomain domain = kMessageDomain,
                              const char* context = nullptr, size_t size = 1024) {
  std::string buffer(size, '\x7f');
  table.Translate(&buffer[0], size, text.c_str(), context, domain);
  return std::string(buffer.c_str());
}
