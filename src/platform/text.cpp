#include "platform/text.h"

#include <string.h>

bool IsSlashChar(char c) { return c == '\\' || c == '/'; }

char* TrimTrailingBlanks(char* text) {
  size_t n = strlen(text);
  while (n > 0) {
    char c = text[n - 1];
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') break;
    text[--n] = '\0';
  }
  return text;
}

bool CopyText(char* dst, size_t size, const char* src) {
  if (size == 0) return false;
  size_t n = strlen(src);
  bool whole = n < size;
  if (!whole) n = size - 1;
  memmove(dst, src, n);
  dst[n] = '\0';
  return whole;
}

bool AppendText(char* dst, size_t size, const char* src) {
  size_t used = 0;
  while (used < size && dst[used] != '\0') ++used;
  if (used >= size) return false;
  return CopyText(dst + used, size - used, src);
}

bool FormatOneString(char* dst, size_t size, const char* format, const char* arg) {
  if (size == 0) return false;
  size_t out = 0;
  bool argUsed = false;
  bool whole = true;
  auto put = [&](const char* text, size_t n) {
    size_t room = size - 1 - out;
    if (n > room) {
      n = room;
      whole = false;
    }
    memcpy(dst + out, text, n);
    out += n;
  };
  for (const char* p = format; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's' && !argUsed) {
      put(arg, strlen(arg));
      argUsed = true;
      ++p;
    } else if (p[0] == '%' && p[1] == '%') {
      put("%", 1);
      ++p;
    } else {
      put(p, 1);
    }
  }
  dst[out] = '\0';
  return whole;
}

static char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCaseAscii(const char* a, const char* b, int count) {
  for (int i = 0; count < 0 || i < count; ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    if (a[i] == '\0') return true;
  }
  return true;
}

bool FormatDecimal(char* dst, size_t size, unsigned long value) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (size < static_cast<size_t>(n) + 1) {
    if (size > 0) dst[0] = '\0';
    return false;
  }
  for (int i = 0; i < n; ++i) dst[i] = digits[n - 1 - i];
  dst[n] = '\0';
  return true;
}

bool ParseDecimal(const char* text, unsigned long* value) {
  unsigned long long result = 0;
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    result = result * 10 + static_cast<unsigned>(*text - '0');
    if (result > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<unsigned long>(result);
  return true;
}
