#include "lang/crc32.h"

#include <string.h>

static uint32_t crcTable[256];

static void BuildCrcTable() {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crcTable[n] = c;
  }
}

static inline uint32_t CrcStep(uint32_t crc) { return crcTable[crc & 0xFF] ^ (crc >> 8); }

static inline uint32_t ReadLittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length) {
  // The table's second entry is never zero once built.
  if (crcTable[1] == 0) BuildCrcTable();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (; length >= 8; length -= 8, p += 8) {
    crc ^= ReadLittleEndian32(p);
    crc = CrcStep(CrcStep(CrcStep(CrcStep(crc))));
    crc ^= ReadLittleEndian32(p + 4);
    crc = CrcStep(CrcStep(CrcStep(CrcStep(crc))));
  }
  for (; length > 0; --length, ++p) crc = (crc >> 8) ^ crcTable[(crc ^ *p) & 0xFF];
  return crc;
}

void MakeTextKey(char key[9], TextDomain domain, const char* context, const char* text) {
  char d = static_cast<char>(domain);
  uint32_t crc = UpdateCrc32(0xFFFFFFFFu, &d, 1);
  if (context != nullptr) crc = UpdateCrc32(crc, context, strlen(context));
  crc = ~UpdateCrc32(crc, text, strlen(text));
  static const char hex[] = "0123456789abcdef";
  for (int i = 7; i >= 0; --i, crc >>= 4) key[i] = hex[crc & 0xF];
  key[8] = '\0';
}
