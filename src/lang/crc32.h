// CRC-32 (reflected polynomial 0xEDB88320, as in zlib and PNG) and the text keys built from it.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Folds `length` bytes into a running value; the caller applies the initial and final inversion.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length);

enum TextDomain : char {
  kMessageDomain = 's',  // texts of the string table
  kDialogDomain = '$',   // dialog titles and control texts, scale and direction entries
};

// The key of a text: CRC-32 over the domain character, the context (may be null) and the text,
// written as eight lowercase hex digits into `key` (9 bytes with the terminator).
void MakeTextKey(char key[9], TextDomain domain, const char* context, const char* text);
