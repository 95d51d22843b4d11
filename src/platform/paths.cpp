#include "platform/paths.h"

#include <string.h>

#include "platform/text.h"

bool JoinPath(char* out, size_t size, const char* folder, const char* name) {
  if (size == 0) return false;
  size_t room = size;
  size_t n = strlen(folder);
  bool separator = n > 0 && folder[n - 1] != '\\';
  // Worked out before any copy, so that `out` may be `folder` itself.
  if (n + (separator ? 1 : 0) + strlen(name) + 1 > room) {
    out[0] = '\0';
    return false;
  }
  memmove(out, folder, n);
  if (separator) out[n++] = '\\';
  CopyText(out + n, room - n, name);
  return true;
}

// "..", and forms the system reads as "..": it drops trailing dots and blanks from a name.
static bool IsDotsElement(const char* begin, const char* end) {
  int dots = 0;
  for (const char* p = begin; p < end; ++p) {
    if (*p == '.') {
      ++dots;
    } else if (*p != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// A name the system takes for a device in every folder: CON, PRN, AUX, NUL, COM1 to COM9 and LPT1
// to LPT9 (with the superscript digits of the ANSI code page too), whatever the extension, and
// the console's and the clock's names. Blanks before the extension do not count.
static bool IsDeviceElement(const char* begin, const char* end) {
  const char* stem = begin;
  while (stem < end && *stem != '.') ++stem;
  while (stem > begin && stem[-1] == ' ') --stem;
  const int n = static_cast<int>(stem - begin);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  if (n == 4 && (EqualsNoCaseAscii(begin, "COM", 3) || EqualsNoCaseAscii(begin, "LPT", 3))) {
    unsigned char digit = static_cast<unsigned char>(begin[3]);
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  for (const char* device : kDevices) {
    if (n == static_cast<int>(strlen(device)) && EqualsNoCaseAscii(begin, device, n)) return true;
  }
  return false;
}

const char* EntryRefusal(const char* entry) {
  if (entry[0] == '\0') return "empty";
  if ((IsSlashChar(entry[0]) && IsSlashChar(entry[1])) || strchr(entry, ':') != nullptr) return "not relative";
  const char* element = entry;
  for (const char* p = entry;; ++p) {
    if (*p == '\0' || IsSlashChar(*p)) {
      if (IsDotsElement(element, p)) return "leads out of the folder";
      if (IsDeviceElement(element, p)) return "names a device";
      if (*p == '\0') return nullptr;
      element = p + 1;
    }
  }
}

bool IsEntryInsideFolder(const char* entry) { return EntryRefusal(entry) == nullptr; }

bool IsRootPath(const char* path) {
  // How many leading elements the root takes: "\\server\share" (and "\\?\C:") two, "C:" one.
  int root = path[0] == '\\' && path[1] == '\\' ? 2 : path[0] != '\0' && path[1] == ':';
  int elements = 0;
  for (bool separated = true; *path != '\0'; ++path) {
    bool separator = *path == '\\' || *path == '/';
    elements += separated && !separator;
    separated = separator;
  }
  return elements <= root;
}

bool IsPlainFileName(const char* name) {
  bool onlyDotsAndBlanks = true;
  for (const char* p = name; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 32 || strchr("\\/:*?\"<>|", c) != nullptr) return false;
    if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
  }
  return !onlyDotsAndBlanks;
}

bool FolderOfPath(char* out, size_t size, const char* path) {
  const char* slash = strrchr(path, '\\');
  if (slash == nullptr || size == 0) {
    if (size > 0) out[0] = '\0';
    return false;
  }
  // A drive root keeps its "\": "C:" alone would name the drive's current folder.
  size_t n = static_cast<size_t>(slash - path);
  if (n > 0 && path[n - 1] == ':') ++n;
  if (n + 1 > size) {
    out[0] = '\0';
    return false;
  }
  memmove(out, path, n);
  out[n] = '\0';
  return true;
}

bool QuoteCommandPath(char* out, size_t size, const char* path) {
  bool blank = strchr(path, ' ') != nullptr || strchr(path, '\t') != nullptr;
  if (!blank) {
    if (CopyText(out, size, path)) return true;
  } else if (CopyText(out, size, "\"") && AppendText(out, size, path) && AppendText(out, size, "\"")) {
    return true;
  }
  if (size > 0) out[0] = '\0';
  return false;
}
