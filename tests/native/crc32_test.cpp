#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>

#include "lang/crc32.h"

static uint32_t BytewiseCrc(const unsigned char* p, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

TEST(Crc32, MatchesTheStandardCheckValue) {
  EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(~UpdateCrc32(0xFFFFFFFFu, "", 0), 0u);
}

TEST(Crc32, EightByteStepsEqualTheBytewiseUpdateAtEveryLengthAndAlignment) {
  std::mt19937 random(7);
  unsigned char data[96];
  for (auto& b : data) b = static_cast<unsigned char>(random());
  for (size_t start = 0; start < 8; ++start) {
    for (size_t n = 0; n + start <= sizeof data; ++n) {
      ASSERT_EQ(~UpdateCrc32(0xFFFFFFFFu, data + start, n), BytewiseCrc(data + start, n)) << start << "/" << n;
    }
  }
  // Feeding in pieces gives the same value as one call.
  uint32_t crc = UpdateCrc32(0xFFFFFFFFu, data, 13);
  crc = UpdateCrc32(crc, data + 13, 50);
  EXPECT_EQ(~crc, BytewiseCrc(data, 63));
}

TEST(TextKey, KnownKeysOfTheProgram) {
  char key[9];
  MakeTextKey(key, kMessageDomain, nullptr, "Rimozione completa");
  EXPECT_STREQ(key, "d8c94293");
  MakeTextKey(key, kDialogDomain, "LTR", "LTR");
  EXPECT_STREQ(key, "50a17ae8");
  MakeTextKey(key, kDialogDomain, "SETUPDLG", "");
  EXPECT_STREQ(key, "9b889d24");
  MakeTextKey(key, kDialogDomain, "DONEDLG", "");
  EXPECT_STREQ(key, "debae517");
}

TEST(TextKey, DomainAndContextMakeDistinctKeys) {
  char a[9], b[9], c[9], d[9];
  MakeTextKey(a, kMessageDomain, nullptr, "&Chiudi");
  MakeTextKey(b, kDialogDomain, nullptr, "&Chiudi");
  MakeTextKey(c, kDialogDomain, "SETUPDLG", "&Chiudi");
  MakeTextKey(d, kDialogDomain, "DONEDLG", "&Chiudi");
  EXPECT_STRNE(a, b);
  EXPECT_STRNE(b, c);
  EXPECT_STRNE(c, d);
  // Accented letters are keyed by their Windows-1252 bytes.
  std::string text = "Manuale di KVX in modalit\xe0 carattere";
  MakeTextKey(a, kMessageDomain, nullptr, text.c_str());
  std::string all = "s" + text;
  char expected[9];
  snprintf(expected, sizeof expected, "%08x",
           BytewiseCrc(reinterpret_cast<const unsigned char*>(all.data()), all.size()));
  EXPECT_STREQ(a, expected);
}
