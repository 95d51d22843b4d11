// The program's own C functions, built here under other names beside the C library's and held
// against them.
#include <gtest/gtest.h>
#include <string.h>

#define KVX_C_NAME(name) own_##name
#include "platform/c_functions.cpp"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CFunctions, MemmoveCopiesOverlappingBlocksBothWays) {
  for (int shift = -5; shift <= 5; ++shift) {
    char mine[] = "0123456789abcdef", theirs[] = "0123456789abcdef";
    int from = shift < 0 ? 6 : 3, to = from + shift;
    EXPECT_EQ(own_memmove(mine + to, mine + from, 8), mine + to);
    memmove(theirs + to, theirs + from, 8);
    EXPECT_STREQ(mine, theirs) << "shift " << shift;
  }
  char block[] = "abcdef";
  own_memcpy(block, "XY", 2);
  own_memset(block + 4, '-', 2);
  own_memmove(block, block + 1, 0);
  EXPECT_STREQ(block, "XYcd--");
}

TEST(CFunctions, ComparisonsAreUnsignedAndStopWhereTheyShould) {
  const char* pairs[][2] = {{"abc", "abd"}, {"abc", "abc"}, {"ab", "abc"}, {"\x80", "\x7f"}, {"", ""},
                            {"a\xe9", "a"}, {"same\0x", "same\0y"}};
  for (auto& p : pairs) {
    EXPECT_EQ(Sign(own_strcmp(p[0], p[1])), Sign(strcmp(p[0], p[1]))) << p[0] << " " << p[1];
    EXPECT_EQ(Sign(own_strcmp(p[1], p[0])), Sign(strcmp(p[1], p[0])));
    for (size_t n = 0; n <= 4; ++n) EXPECT_EQ(Sign(own_strncmp(p[0], p[1], n)), Sign(strncmp(p[0], p[1], n)));
  }
  // memcmp goes on past a NUL; a length of 0 is equal.
  EXPECT_LT(own_memcmp("same\0x", "same\0y", 6), 0);
  EXPECT_GT(own_memcmp("\xff", "\x01", 1), 0);
  EXPECT_EQ(own_memcmp("a", "b", 0), 0);
}

TEST(CFunctions, SearchesFindTheRightCharacterOrNone) {
  const char text[] = "C:\\dir\\file.\xe9xt";
  EXPECT_EQ(own_strlen(text), strlen(text));
  EXPECT_EQ(own_strlen(""), 0u);
  EXPECT_EQ(own_strchr(text, '\\'), text + 2);
  EXPECT_EQ(own_strrchr(text, '\\'), text + 6);
  EXPECT_EQ(own_strchr(text, '\0'), text + strlen(text));  // the terminator is found
  EXPECT_EQ(own_strrchr(text, '\0'), text + strlen(text));
  EXPECT_EQ(own_strchr(text, 'q'), nullptr);
  EXPECT_EQ(own_strrchr("", 'a'), nullptr);
  EXPECT_EQ(own_strchr(text, 0x1e9), strchr(text, 0x1e9));  // the value is taken as a char
  EXPECT_EQ(own_strpbrk(text, ".\\"), text + 2);
  EXPECT_EQ(own_strpbrk(text, "xyz"), text + 13);
  EXPECT_EQ(own_strpbrk(text, "qw"), nullptr);
  EXPECT_EQ(own_strpbrk(text, ""), nullptr);

  const unsigned char bytes[] = {1, 0, 0xe9, 7, 7};
  EXPECT_EQ(own_memchr(bytes, 0, 5), bytes + 1);     // a NUL does not end the search
  EXPECT_EQ(own_memchr(bytes, 0x1e9, 5), bytes + 2); // nor is the value taken above a byte
  EXPECT_EQ(own_memchr(bytes, 7, 5), bytes + 3);     // the first of two
  EXPECT_EQ(own_memchr(bytes, 7, 3), nullptr);       // nor past the length
  EXPECT_EQ(own_memchr(bytes, 1, 0), nullptr);
}

}  // namespace
