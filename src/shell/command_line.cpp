#include "shell/command_line.h"

#include <string.h>

#include "platform/text.h"

ParsedCommandLine ParseCommandLine(const char* line) {
  ParsedCommandLine result = {CommandOption::Removal, false};
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
    result.option = CommandOption::None;
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
