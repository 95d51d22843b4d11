#include "shell/command_line.h"

#include <string.h>

#include "platform/text.h"

ParsedCommandLine ParseCommandLine(const char* line) {
  ParsedCommandLine result = {CommandOption::NoOption, false};
  const char* last = strrchr(line, '/');
  if (last == nullptr) return result;

  // Only a "/s" that ends the line makes the run silent; the option is then read from the first "/",
  // so "/setup /s" is a silent setup while "/s /setup" is not.
  const char* selected = last;
  if (EqualsNoCaseAscii(last, "/s", -1)) {
    result.silent = true;
    selected = strchr(line, '/');
  }

  // Text after a matching name is ignored: "/setupfoo" still counts as "/setup".
  if (EqualsNoCaseAscii(selected, "/setup", 6)) {
    result.option = CommandOption::Setup;
  } else if (EqualsNoCaseAscii(selected, "/wait", 5)) {
    result.option = CommandOption::Wait;
  } else if (EqualsNoCaseAscii(selected, "/warning", 8)) {
    result.option = CommandOption::Warning;
  } else if (EqualsNoCaseAscii(selected, "/remove", 7)) {
    result.option = CommandOption::Remove;
  } else {
    result.option = CommandOption::Unknown;
  }
  return result;
}

const char* CommandLineTail(const char* wholeLine) {
  const char* p = wholeLine;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (static_cast<unsigned char>(*p) > ' ') ++p;
  }
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
  return p;
}

bool TakeLogOption(char* line, char* path, size_t size) {
  if (size > 0) path[0] = '\0';
  for (char* start = line; (start = strchr(start, '/')) != nullptr; ++start) {
    // A word of its own, or one in quotes as a whole ("/log=C:\a b\x.log"), as some tools pass it.
    const bool quoted = start > line && start[-1] == '"' &&
                        (start - 1 == line || static_cast<unsigned char>(start[-2]) <= ' ');
    const bool word = start == line || static_cast<unsigned char>(start[-1]) <= ' ' || quoted;
    if (!word || !EqualsNoCaseAscii(start, "/log", 4)) continue;
    const char next = start[4];
    if (next != '\0' && next != '=' && static_cast<unsigned char>(next) > ' ' && !(quoted && next == '"')) continue;
    char* end = start + 4;
    if (quoted) --start;
    if (*end == '=') {
      if (!quoted && end[1] == '"') ++end;
      const char* value = ++end;
      if (quoted || value[-1] == '"') {
        while (*end != '\0' && *end != '"') ++end;
      } else {
        while (static_cast<unsigned char>(*end) > ' ') ++end;
      }
      size_t length = static_cast<size_t>(end - value);
      if (length < size) {
        memcpy(path, value, length);
        path[length] = '\0';
      }
      if (*end == '"') ++end;
    } else if (quoted && *end == '"') {
      ++end;
    }
    while (start > line && static_cast<unsigned char>(start[-1]) <= ' ') --start;
    memmove(start, end, strlen(end) + 1);
    return true;
  }
  return false;
}
