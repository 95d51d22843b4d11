// Builds language files for the tests: entry lines with real keys, and a memory byte source.
#pragma once
#include <string.h>

#include <string>

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

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  long ReadAt(long offset, void* buffer, long size) override {
    ++reads;
    if (offset < 0 || offset >= static_cast<long>(bytes_.size())) return 0;
    long n = static_cast<long>(bytes_.size()) - offset;
    if (n > size) n = size;
    memcpy(buffer, bytes_.data() + offset, static_cast<size_t>(n));
    return n;
  }
  int reads = 0;

 private:
  std::string bytes_;
};

// Loads `file` into `table`; true when a messages section was found.
inline bool LoadFromString(LanguageResources& table, const std::string& file) {
  MemorySource source(file);
  return table.Load(source);
}

inline std::string Translated(const LanguageResources& table, const std::string& text, TextDomain domain = kMessageDomain,
                              const char* context = nullptr, size_t size = 1024) {
  std::string buffer(size, '\x7f');
  table.Translate(&buffer[0], size, text.c_str(), context, domain);
  return std::string(buffer.c_str());
}
