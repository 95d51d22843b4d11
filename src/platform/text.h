// Text helpers over 8-bit ANSI strings in caller-owned buffers. Pure: no <windows.h>, so they build
// natively for the sanitizer and fuzz builds as well as for the program.
#pragma once
#include <stddef.h>


bool IsSlashChar(char c);



// Drops trailing carriage returns, line feeds, blanks and tabs in place.
char* TrimTrailingBlanks(char* text);

// Copies or appends with the destination's size; the result is always terminated. Both return
// false when the source had to be cut.
bool CopyText(char* dst, size_t size, const char* src);
bool AppendText(char* dst, size_t size, const char* src);

// Fills a message whose text may come from a translator: the first "%s" takes `arg`, "%%" gives
// "%", and every other "%" sequence is copied as it stands, so no text can make us read arguments
// that were never passed. Returns false when the result was cut to fit.
bool FormatOneString(char* dst, size_t size, const char* format, const char* arg);

// ASCII-only case-insensitive comparison of the first `count` characters (count < 0: whole texts).
bool EqualsNoCaseAscii(const char* a, const char* b, int count);

// An unsigned number in decimal digits. FormatDecimal returns false when `size` is too small;
// ParseDecimal takes digits alone (no sign, no blanks) that fit 32 bits.
bool FormatDecimal(char* dst, size_t size, unsigned long value);
bool ParseDecimal(const char* text, unsigned long* value);
