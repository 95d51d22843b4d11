// libFuzzer target. The input is loaded as a language file and looked up; the same bytes, read as
// text, drive the text helpers and the command-line grammar. Every check compares against a small
// model written from the file format, and a broken invariant aborts so libFuzzer keeps the input.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "lang/crc32.h"
#include "lang/language_table.h"
#include "language_file_builder.h"
#include "platform/text.h"
#include "shell/command_line.h"

[[noreturn]] void FatalOutOfMemory() { abort(); }

namespace {

[[noreturn]] void Fail(const char* what, int line) {
  fprintf(stderr, "language_fuzz: invariant broken (line %d): %s\n", line, what);
  abort();
}
#define CHECK(cond)                     \
  do {                                  \
    if (!(cond)) Fail(#cond, __LINE__); \
  } while (0)

// ---- Model of the messages section ----------------------------------------------------------

const std::string kMarker = "***messages**";
const long kLastMarkerStart = 130819;  // 16 chunks of 8192 overlapping by 16, less the marker
const size_t kLastLineLimit = 255;

struct Section {
  bool found = false;
  std::string text;            // decoded; line breaks are '\f'
  std::vector<size_t> lines;   // starts of the lines that can hold an entry
};

Section ModelSection(const uint8_t* data, size_t size) {
  Section s;
  std::string raw(reinterpret_cast<const char*>(data), size);
  size_t marker = raw.find(kMarker);
  // A file shorter than the chunk overlap is never searched.
  if (size < 16 || marker == std::string::npos || marker > static_cast<size_t>(kLastMarkerStart)) return s;
  s.found = true;
  std::string body = raw.substr(marker, static_cast<size_t>(kSectionLimit));
  body = body.substr(0, body.find('\0'));
  for (size_t i = 0; i < body.size(); ++i) {
    char c = body[i];
    if (c == '\\' && i + 1 < body.size()) {
      const char* from = strchr("\"\\nrt", body[i + 1]);
      if (from != nullptr) {
        s.text += "\"\\\n\r\t"[from - "\"\\nrt"];
        ++i;
        continue;
      }
    }
    s.text += (c == '\r' || c == '\n') ? '\f' : c;
  }
  // Entry lines follow a line break and leave room for a key before the end; the marker's line
  // is not one.
  for (size_t k = 1; k + 8 < s.text.size(); ++k) {
    if (s.text[k - 1] == '\f' && s.text[k] != '\f') s.lines.push_back(k);
  }
  return s;
}

// The value of the entry line at `k`: after `key="`, up to the line's last quote, else to its end.
// A line too short to hold `key="` has an empty value.
std::string ModelValue(const std::string& text, size_t k) {
  size_t lineEnd = text.find('\f', k);
  bool lastLine = lineEnd == std::string::npos;
  if (lastLine) lineEnd = text.size();
  if (lineEnd - k < 10) return std::string();
  size_t v = k + 10;
  if (lastLine) lineEnd = std::min(text.size(), v + kLastLineLimit);
  std::string value = text.substr(v, lineEnd - v);
  size_t quote = value.rfind('"');
  return quote == std::string::npos ? value : value.substr(0, quote);
}

// The values a key may translate to: that of any entry line starting with it (duplicates may
// resolve either way). Empty when the text has no line.
std::vector<std::string> ModelValues(const Section& s, const char* key) {
  std::vector<std::string> values;
  for (size_t k : s.lines) {
    if (s.text.compare(k, 8, key) == 0) values.push_back(ModelValue(s.text, k));
  }
  return values;
}

// ---- Translation checks -----------------------------------------------------------------------

const size_t kSizes[] = {1, 2, 3, 256, 512, 1024};
// A miss scans the whole section; text cut by size on a miss is the long-text probe's business.
const size_t kMissSizes[] = {1, 1024};

bool MatchesOne(const std::vector<std::string>& values, const char* got, size_t size) {
  for (const std::string& v : values) {
    if (v.substr(0, size - 1) == got) return true;
  }
  return false;
}

void CheckTranslate(const LanguageResources& r, const Section& s, const std::string& text, const char* context,
                    TextDomain domain, bool allSizes) {
  char key[9];
  MakeTextKey(key, domain, context, text.c_str());
  std::vector<std::string> values = ModelValues(s, key);
  std::vector<size_t> sizes(kSizes, kSizes + std::size(kSizes));
  if (values.empty() && !allSizes) sizes.assign(kMissSizes, kMissSizes + std::size(kMissSizes));
  for (size_t size : sizes) {
    // Exactly `size` bytes, so ASan sees any write past the end; no NUL until Translate puts one.
    std::vector<char> dst(size, 'Z');
    r.Translate(dst.data(), size, text.c_str(), context, domain);
    CHECK(memchr(dst.data(), '\0', size) != nullptr);
    if (values.empty()) {
      CHECK(text.substr(0, size - 1) == dst.data());
    } else {
      CHECK(MatchesOne(values, dst.data(), size));
      CHECK(strchr(dst.data(), kLineBreakMark) == nullptr);
    }
  }
  // In place: the source is the destination.
  if (text.size() < 1024) {
    std::vector<char> buffer(1024, 'Z');
    memcpy(buffer.data(), text.c_str(), text.size() + 1);
    r.Translate(buffer.data(), buffer.size(), buffer.data(), context, domain);
    CHECK(memchr(buffer.data(), '\0', buffer.size()) != nullptr);
    if (values.empty()) {
      CHECK(text == buffer.data());
    } else {
      CHECK(MatchesOne(values, buffer.data(), buffer.size()));
    }
  }
  // A zero size writes nothing.
  char guard = 'G';
  r.Translate(&guard, 0, text.c_str(), context, domain);
  CHECK(guard == 'G');
}

// ---- Texts that hit a given key ---------------------------------------------------------------

uint32_t crcTable[256];
uint8_t crcIndexOfTopByte[256];

void BuildModelCrcTable() {
  if (crcTable[1] != 0) return;
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crcTable[n] = c;
    crcIndexOfTopByte[c >> 24] = static_cast<uint8_t>(n);
  }
}

uint32_t BitwiseCrc(uint32_t crc, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return crc;
}

// A text whose key is `key`: a short prefix and four bytes that steer the CRC onto it (CRC-32 is
// linear, so the four table indices follow from the target alone). Empty if every try gives a NUL.
std::string TextForKey(const char* key, TextDomain domain, const char* context) {
  uint32_t target = ~static_cast<uint32_t>(strtoul(key, nullptr, 16));
  uint8_t index[4];
  uint32_t t = target;
  for (int i = 3; i >= 0; --i) {
    index[i] = crcIndexOfTopByte[t >> 24];
    t = (t ^ crcTable[index[i]]) << 8;
  }
  for (char variant = 'a'; variant <= 'z'; ++variant) {
    std::string text = std::string("forged ") + variant;
    char d = static_cast<char>(domain);
    uint32_t crc = BitwiseCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(&d), 1);
    if (context != nullptr) crc = BitwiseCrc(crc, reinterpret_cast<const uint8_t*>(context), strlen(context));
    crc = BitwiseCrc(crc, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::string tail;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = static_cast<uint8_t>((crc ^ index[i]) & 0xFF);
      tail += static_cast<char>(b);
      crc = crcTable[index[i]] ^ (crc >> 8);
    }
    if (tail.find('\0') != std::string::npos) continue;
    CHECK(crc == target);
    return text + tail;
  }
  return std::string();
}

bool IsLowerHex(const char* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (!((p[i] >= '0' && p[i] <= '9') || (p[i] >= 'a' && p[i] <= 'f'))) return false;
  }
  return true;
}

void FuzzLanguage(const uint8_t* data, size_t size) {
  BuildModelCrcTable();
  Section s = ModelSection(data, size);
  MemorySource source(data, size);
  LanguageResources r;
  bool loaded = r.Load(source);
  CHECK(loaded == s.found);
  CHECK(r.IsLoaded() == s.found);
  CHECK(static_cast<size_t>(r.Length()) == s.text.size());
  CHECK(static_cast<size_t>(r.IndexedLines()) == s.lines.size());
  // Loading again replaces what was there (small inputs only: a load is the costly part).
  if (size <= 4096) {
    CHECK(r.Load(source) == loaded);
    CHECK(static_cast<size_t>(r.IndexedLines()) == s.lines.size());
  }

  struct Probe {
    TextDomain domain;
    const char* context;
    const char* text;
  };
  static const Probe kProbes[] = {
      {kMessageDomain, nullptr, "Cancel"},
      {kMessageDomain, "", "Cancel"},
      {kMessageDomain, nullptr, "Remove Korvex from this computer?"},
      {kMessageDomain, nullptr, "%s could not be removed."},
      {kDialogDomain, "IDD_SETUP", "Setup"},
      {kDialogDomain, "IDD_SETUP", "&Install"},
      {kDialogDomain, "LTR", "LTR"},
      {kDialogDomain, nullptr, ""},
      {kDialogDomain, nullptr, "Cancel"},
  };
  for (const Probe& p : kProbes) CheckTranslate(r, s, p.text, p.context, p.domain, false);

  // Texts whose keys are the input's own entry lines, so most of them hit.
  int forged = 0;
  for (size_t k : s.lines) {
    if (forged == 8) break;
    if (!IsLowerHex(s.text.c_str() + k, 8)) continue;
    TextDomain domain = (forged & 1) ? kDialogDomain : kMessageDomain;
    const char* context = (forged & 2) ? "IDD_SETUP" : nullptr;
    std::string text = TextForKey(s.text.substr(k, 8).c_str(), domain, context);
    if (text.empty()) continue;
    char key[9];
    MakeTextKey(key, domain, context, text.c_str());
    CHECK(s.text.compare(k, 8, key) == 0);
    CheckTranslate(r, s, text, context, domain, false);
    ++forged;
  }

  // A long text made of the input's first line: misses, cut to every size.
  std::string first(reinterpret_cast<const char*>(data), std::min<size_t>(size, 2048));
  first = first.substr(0, first.find_first_of(std::string("\r\n\0", 3)));
  CheckTranslate(r, s, first, "long", kMessageDomain, true);

  std::vector<std::string> direction = ModelValues(s, "50a17ae8");  // CRC-32 of "$LTRLTR", from zlib
  bool allRtl = !direction.empty();
  bool anyRtl = false;
  for (const std::string& v : direction) {
    allRtl = allRtl && v == "RTL";
    anyRtl = anyRtl || v == "RTL";
  }
  if (allRtl) CHECK(r.AsksForRightToLeft());
  if (!anyRtl) CHECK(!r.AsksForRightToLeft());
}

// ---- CRC ----------------------------------------------------------------------------------------

void FuzzCrc(const uint8_t* data, size_t size) {
  size_t n = std::min<size_t>(size, 1024);
  CHECK(UpdateCrc32(0xFFFFFFFFu, data, n) == BitwiseCrc(0xFFFFFFFFu, data, n));
  // Any split, including ones that break the eight-byte steps, gives the same value.
  size_t split = n == 0 ? 0 : data[0] % (n + 1);
  CHECK(UpdateCrc32(UpdateCrc32(0x12345678u, data, split), data + split, n - split) ==
        UpdateCrc32(0x12345678u, data, n));
  if (n > 3) CHECK(UpdateCrc32(0u, data + 3, n - 3) == BitwiseCrc(0u, data + 3, n - 3));
}

// ---- Text helpers and the command line --------------------------------------------------------

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string Lower(std::string s) {
  for (char& c : s) c = LowerAscii(c);
  return s;
}

void CheckCommandLine(const std::string& line) {
  ParsedCommandLine got = ParseCommandLine(line.c_str());
  size_t last = line.rfind('/');
  if (last == std::string::npos) {
    CHECK(got.option == CommandOption::NoOption && !got.silent);
    return;
  }
  bool silent = Lower(line.substr(last)) == "/s";
  std::string selected = Lower(line.substr(silent ? line.find('/') : last));
  CommandOption option = CommandOption::Unknown;
  if (selected.compare(0, 6, "/setup") == 0) {
    option = CommandOption::Setup;
  } else if (selected.compare(0, 5, "/wait") == 0) {
    option = CommandOption::Wait;
  } else if (selected.compare(0, 8, "/warning") == 0) {
    option = CommandOption::Warning;
  } else if (selected.compare(0, 7, "/remove") == 0) {
    option = CommandOption::Remove;
  }
  CHECK(got.silent == silent);
  CHECK(got.option == option);
}

std::string ModelFormat(const std::string& format, const std::string& arg) {
  std::string out;
  bool used = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && !used) {
      out += arg;
      used = true;
      ++i;
    } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

void FuzzText(const uint8_t* data, size_t size) {
  // Two texts: up to the first line feed, and after it; each up to its first NUL.
  std::string all(reinterpret_cast<const char*>(data), std::min<size_t>(size, 4096));
  size_t cut = all.find('\n');
  std::string a = all.substr(0, cut);
  std::string b = cut == std::string::npos ? std::string() : all.substr(cut + 1);
  a = a.substr(0, a.find('\0'));
  b = b.substr(0, b.find('\0'));
  size_t size1 = 1 + (size > 0 ? data[0] % 48 : 0);
  size_t size2 = 1 + (size > 1 ? data[1] % 300 : 0);

  CheckCommandLine(a);
  CheckCommandLine(b);

  for (size_t n : {size1, size2}) {
    std::vector<char> dst(n, 'Z');
    bool whole = CopyText(dst.data(), n, a.c_str());
    CHECK(whole == (a.size() < n));
    CHECK(a.substr(0, n - 1) == dst.data());

    bool appended = AppendText(dst.data(), n, b.c_str());
    std::string joined = a.substr(0, n - 1) + b;
    CHECK(joined.substr(0, n - 1) == dst.data());
    CHECK(appended == (joined.size() < n));

    std::vector<char> out(n, 'Z');
    std::string expected = ModelFormat(a, b);
    bool fits = FormatOneString(out.data(), n, a.c_str(), b.c_str());
    CHECK(expected.substr(0, n - 1) == out.data());
    CHECK(fits == (expected.size() < n));
  }
  // An unterminated destination is left alone.
  std::vector<char> full(4, 'Z');
  CHECK(!AppendText(full.data(), full.size(), b.c_str()));
  CHECK(std::string(full.begin(), full.end()) == "ZZZZ");

  std::string trimmed = a;
  TrimTrailingBlanks(&trimmed[0]);
  trimmed.resize(strlen(trimmed.c_str()));
  CHECK(a.compare(0, trimmed.size(), trimmed) == 0);
  CHECK(trimmed.empty() || strchr("\r\n \t", trimmed.back()) == nullptr);
  CHECK(a.find_first_not_of("\r\n \t", trimmed.size()) == std::string::npos);

  int count = size > 2 ? static_cast<int>(data[2] % 12) - 1 : -1;
  std::string la = Lower(a), lb = Lower(b);
  bool equal;
  if (count < 0) {
    equal = la == lb;
  } else {
    size_t c = static_cast<size_t>(count);
    equal = la.substr(0, c) == lb.substr(0, c);
  }
  CHECK(EqualsNoCaseAscii(a.c_str(), b.c_str(), count) == equal);
  CHECK(EqualsNoCaseAscii(b.c_str(), a.c_str(), count) == equal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzLanguage(data, size);
  FuzzCrc(data, size);
  FuzzText(data, size);
  return 0;
}
