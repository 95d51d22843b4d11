#include <gtest/gtest.h>
#include <string.h>

#include "platform/text.h"

TEST(TrimTrailingBlanks, DropsOnlyTrailingLineEndsBlanksAndTabs) {
  char line[] = "  C:\\a b\\file.txt \t\r\n";
  EXPECT_STREQ(TrimTrailingBlanks(line), "  C:\\a b\\file.txt");
  char only[] = " \r\n\t ";
  EXPECT_STREQ(TrimTrailingBlanks(only), "");
  char clean[] = "x y";
  EXPECT_STREQ(TrimTrailingBlanks(clean), "x y");
  char formFeed[] = "x\f";  // not a blank
  EXPECT_STREQ(TrimTrailingBlanks(formFeed), "x\f");
}

TEST(BoundedCopy, CutsAndReportsAndAlwaysTerminates) {
  char small[5];
  EXPECT_TRUE(CopyText(small, sizeof small, "abcd"));
  EXPECT_STREQ(small, "abcd");
  EXPECT_FALSE(CopyText(small, sizeof small, "abcdef"));
  EXPECT_STREQ(small, "abcd");
  EXPECT_FALSE(AppendText(small, sizeof small, "x"));
  EXPECT_STREQ(small, "abcd");
  char path[8] = "ab";
  EXPECT_TRUE(AppendText(path, sizeof path, "cd"));
  EXPECT_FALSE(AppendText(path, sizeof path, "efgh"));
  EXPECT_STREQ(path, "abcdefg");
  char untermin[3] = {'x', 'y', 'z'};  // a destination without terminator is not read past its size
  EXPECT_FALSE(AppendText(untermin, sizeof untermin, "q"));
  char overlap[] = "0123456789";
  EXPECT_TRUE(CopyText(overlap, sizeof overlap, overlap + 3));
  EXPECT_STREQ(overlap, "3456789");
}

TEST(FormatOneString, SubstitutesOnceAndNeverReadsMissingArguments) {
  char out[64];
  EXPECT_TRUE(FormatOneString(out, sizeof out, "Devi eliminare il file %s manualmente", "C:\\K\\U.exe"));
  EXPECT_STREQ(out, "Devi eliminare il file C:\\K\\U.exe manualmente");
  // A translator's text with more conversions than arguments: the extra ones stay literal.
  EXPECT_TRUE(FormatOneString(out, sizeof out, "%s %s %d %n %x 100%%", "P"));
  EXPECT_STREQ(out, "P %s %d %n %x 100%");
  EXPECT_TRUE(FormatOneString(out, sizeof out, "no argument", "P"));
  EXPECT_STREQ(out, "no argument");
  EXPECT_TRUE(FormatOneString(out, sizeof out, "end %", "P"));
  EXPECT_STREQ(out, "end %");
  char tiny[8];
  EXPECT_FALSE(FormatOneString(tiny, sizeof tiny, "ab%scd", "0123456789"));
  EXPECT_STREQ(tiny, "ab01234");
}

TEST(EqualsNoCaseAscii, ComparesPrefixesAndWholeTexts) {
  EXPECT_TRUE(EqualsNoCaseAscii("/SeTuPx", "/setup", 6));
  EXPECT_FALSE(EqualsNoCaseAscii("/setu", "/setup", 6));
  EXPECT_TRUE(EqualsNoCaseAscii("/S", "/s", -1));
  EXPECT_FALSE(EqualsNoCaseAscii("/s ", "/s", -1));
  EXPECT_FALSE(EqualsNoCaseAscii("\xe0", "\xc0", -1));  // only ASCII letters fold
}

TEST(Decimal, FormatsAndParsesThirtyTwoBitsOnly) {
  char out[11];
  EXPECT_TRUE(FormatDecimal(out, sizeof out, 4294967295ul));
  EXPECT_STREQ(out, "4294967295");
  EXPECT_TRUE(FormatDecimal(out, 2, 0));
  EXPECT_STREQ(out, "0");
  EXPECT_FALSE(FormatDecimal(out, 3, 123));  // no room for the terminator: refused, not cut
  EXPECT_STREQ(out, "");
  unsigned long value = 7;
  EXPECT_TRUE(ParseDecimal("4294967295", &value));
  EXPECT_EQ(value, 4294967295ul);
  EXPECT_TRUE(ParseDecimal("0012", &value));
  EXPECT_EQ(value, 12ul);
  for (const char* bad : {"", "4294967296", "99999999999999999999", "-1", "+1", " 1", "1 ", "1a"}) {
    value = 7;
    EXPECT_FALSE(ParseDecimal(bad, &value)) << bad;
    EXPECT_EQ(value, 7ul) << bad;
  }
}
