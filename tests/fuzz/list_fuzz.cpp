// libFuzzer target over the list of installed files. The input is read as "Uninstall.lst": the
// entries must be those of a small model of the line reader, the removal's refusal rule must be
// that of the list format, and every entry it accepts, joined to an installation folder and
// resolved the way the system resolves a path, must stay inside that folder. The joining and the
// folder helpers are checked for bounds on buffers of every size around the one needed.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_list.h"
#include "platform/paths.h"

[[noreturn]] void FatalOutOfMemory() { abort(); }

namespace {

[[noreturn]] void Fail(const char* what, int line) {
  fprintf(stderr, "list_fuzz: invariant broken (line %d): %s\n", line, what);
  abort();
}
#define CHECK(cond)                     \
  do {                                  \
    if (!(cond)) Fail(#cond, __LINE__); \
  } while (0)

const size_t kLongestLine = 2047;  // characters of a line, its line feed included
const char kGuard = 'G';
const size_t kGuardSize = 16;
const size_t kCheckedEntries = 64;

// ---- Model of the reader -------------------------------------------------------------------

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Lines end at a line feed; a line is read up to its first NUL, its trailing CR, LF, blanks and
// tabs dropped. Lines that come out empty, and lines longer than kLongestLine (the line feed
// counted), give no entry.
std::vector<std::string> ModelEntries(const std::string& text) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < text.size()) {
    size_t feed = text.find('\n', start);
    size_t stop = feed == std::string::npos ? text.size() : feed;
    size_t characters = stop - start + (feed == std::string::npos ? 0 : 1);
    std::string line = text.substr(start, stop - start);
    start = feed == std::string::npos ? text.size() : feed + 1;
    if (characters > kLongestLine) continue;
    line.resize(strnlen(line.c_str(), line.size()));
    while (!line.empty() && IsTrimmed(line.back())) line.pop_back();
    if (!line.empty()) entries.push_back(line);
  }
  return entries;
}

// ---- Model of the refusal rule -------------------------------------------------------------

std::vector<std::string> SplitElements(const std::string& path) {
  std::vector<std::string> elements(1);
  for (char c : path) {
    if (c == '\\' || c == '/') {
      elements.emplace_back();
    } else {
      elements.back() += c;
    }
  }
  return elements;
}

size_t CountDots(const std::string& element) {
  size_t dots = 0;
  for (char c : element) dots += c == '.';
  return dots;
}

bool OnlyDotsAndBlanks(const std::string& element) { return element.find_first_not_of(". ") == std::string::npos; }

// The forms of the list format that may leave the folder: nothing at all, a network or device
// prefix ("\\", "//", "\/"), a drive or stream (any ":"), and an element that is or becomes ".."
// (dots and blanks only, two dots or more).
bool HasForbiddenForm(const std::string& entry) {
  if (entry.empty()) return true;
  if (entry.size() >= 2 && strchr("\\/", entry[0]) != nullptr && strchr("\\/", entry[1]) != nullptr) return true;
  if (entry.find(':') != std::string::npos) return true;
  for (const std::string& element : SplitElements(entry)) {
    if (OnlyDotsAndBlanks(element) && CountDots(element) >= 2) return true;
  }
  return false;
}

// ---- Resolving a full path as the system does ----------------------------------------------

// The elements of "X:\..." after resolution: "\" and "/" both separate, empty elements and "."
// are dropped, trailing dots and blanks of a name are dropped. An element of dots and blanks with
// n >= 2 dots goes up n - 1 levels: ".." everywhere, and "..." is two levels up on the 9x family
// (the largest reading is taken). False when the path is not rooted at a drive, or goes above it.
bool ResolvePath(const std::string& path, std::vector<std::string>* resolved) {
  resolved->clear();
  if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/')) return false;
  std::vector<std::string> elements = SplitElements(path.substr(3));
  for (std::string& element : elements) {
    if (OnlyDotsAndBlanks(element)) {
      size_t dots = CountDots(element);
      for (size_t up = 1; up < dots; ++up) {
        if (resolved->empty()) return false;
        resolved->pop_back();
      }
      continue;
    }
    while (element.back() == '.' || element.back() == ' ') element.pop_back();
    resolved->push_back(element);
  }
  return true;
}

// ---- Joining ------------------------------------------------------------------------------

std::string ModelJoin(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

bool GuardIntact(const std::vector<char>& buffer, size_t from) {
  for (size_t i = from; i < buffer.size(); ++i) {
    if (buffer[i] != kGuard) return false;
  }
  return true;
}

// Sizes around the one needed, and the smallest ones.
std::vector<size_t> SizesAround(size_t need) { return {0, 1, 2, need - 1, need, need + 1}; }

void CheckJoinBounds(const std::string& folder, const std::string& name) {
  std::string expected = ModelJoin(folder, name);
  size_t need = expected.size() + 1;
  for (size_t size : SizesAround(need)) {
    std::vector<char> out(size + kGuardSize, kGuard);
    bool joined = JoinPath(out.data(), static_cast<int>(size), folder.c_str(), name.c_str());
    CHECK(GuardIntact(out, size));
    CHECK(joined == (size >= need));
    if (joined) {
      CHECK(expected == out.data());
    } else if (size > 0) {
      CHECK(out[0] == '\0');  // refused, never cut
    }
  }
  // The folder may be the output itself.
  for (size_t size : {need - 1, need}) {
    if (size < folder.size() + 1) continue;
    std::vector<char> out(size + kGuardSize, kGuard);
    memcpy(out.data(), folder.c_str(), folder.size() + 1);
    bool joined = JoinPath(out.data(), static_cast<int>(size), out.data(), name.c_str());
    CHECK(GuardIntact(out, size));
    CHECK(joined == (size >= need));
    CHECK(joined ? expected == out.data() : out[0] == '\0');
  }
}

// "C:\x\y" gives "C:\x", "C:\y" gives "C:\"; only "\" separates here.
void CheckFolderOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  std::string expected;
  if (slash != std::string::npos) {
    size_t n = slash;
    if (n > 0 && path[n - 1] == ':') ++n;
    expected = path.substr(0, n);
  }
  size_t need = expected.size() + 1;
  for (size_t size : SizesAround(need)) {
    std::vector<char> out(size + kGuardSize, kGuard);
    bool found = FolderOfPath(out.data(), static_cast<int>(size), path.c_str());
    CHECK(GuardIntact(out, size));
    CHECK(found == (slash != std::string::npos && size >= need));
    if (found) {
      CHECK(expected == out.data());
    } else if (size > 0) {
      CHECK(out[0] == '\0');
    }
  }
}

const char* const kFolders[] = {"C:\\Programmi\\Korvex", "C:\\", "C:\\Programmi\\Korvex\\"};

void CheckEntry(const std::string& entry) {
  bool inside = IsEntryInsideFolder(entry.c_str());
  CHECK(inside == !HasForbiddenForm(entry));

  for (const char* folder : kFolders) {
    std::string base = ModelJoin(folder, "");
    char path[kPathSize];
    bool joined = JoinPath(path, sizeof path, folder, entry.c_str());
    CHECK(joined == (base.size() + entry.size() < sizeof path));
    if (!joined) {
      CHECK(path[0] == '\0');
      continue;
    }
    // The folder and one "\" of the join's own, then the entry as it stands.
    CHECK(base.compare(0, base.size(), path, base.size()) == 0);
    CHECK(path[base.size() - 1] == '\\' && (base.size() < 2 || path[base.size() - 2] != '\\'));
    CHECK(entry == path + base.size());
    if (!inside) continue;

    std::vector<std::string> folderElements, pathElements;
    CHECK(ResolvePath(folder, &folderElements));
    CHECK(ResolvePath(path, &pathElements));
    CHECK(pathElements.size() >= folderElements.size());
    for (size_t i = 0; i < folderElements.size(); ++i) CHECK(pathElements[i] == folderElements[i]);
  }

  CheckJoinBounds(kFolders[0], entry);
  CheckFolderOf(entry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> expected = ModelEntries(text);

  // Exactly the text and the one writable byte after it that the reader may use, so ASan sees
  // anything beyond.
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back(kGuard);
  char* cursor = buffer.data();
  char* end = buffer.data() + size;
  size_t count = 0;
  while (char* entry = NextListEntry(&cursor, end)) {
    CHECK(entry >= buffer.data() && entry < end);
    CHECK(cursor > entry && cursor <= end);
    size_t length = strlen(entry);
    CHECK(length > 0 && length <= kLongestLine);
    CHECK(strchr(entry, '\n') == nullptr);
    CHECK(!IsTrimmed(entry[length - 1]));
    // Only the text's last line, with no line feed after it, may use all kLongestLine characters.
    CHECK(length < kLongestLine || cursor == end);
    CHECK(count < expected.size() && expected[count] == entry);
    // The joins and their bounds for the first entries: a long list of them would only slow the search.
    if (count < kCheckedEntries) CheckEntry(entry);
    ++count;
  }
  CHECK(count == expected.size());
  CHECK(cursor == end);

  // The list's own text, as one path, through the join and the folder helper.
  std::string first = text.substr(0, std::min<size_t>(text.size(), 2 * kPathSize));
  first.resize(strnlen(first.c_str(), first.size()));
  CheckJoinBounds(first, "Uninstall.exe");
  CheckFolderOf(first);
  return 0;
}
