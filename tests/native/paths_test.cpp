#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"

TEST(Paths, JoinPutsExactlyOneBackslashAndRefusesWhatDoesNotFit) {
  char out[32];
  ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\Korvex", "a.txt"));
  EXPECT_STREQ(out, "C:\\Korvex\\a.txt");
  ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\Korvex\\", "a.txt"));
  EXPECT_STREQ(out, "C:\\Korvex\\a.txt");
  ASSERT_TRUE(JoinPath(out, sizeof out, "C:\\", "a.txt"));  // a drive root: no doubled "\"
  EXPECT_STREQ(out, "C:\\a.txt");
  ASSERT_TRUE(JoinPath(out, sizeof out, "", "a.txt"));
  EXPECT_STREQ(out, "a.txt");

  // 31 characters fit 32 bytes; 32 do not, and nothing is left that could name another file.
  std::string name(31 - 3, 'n');
  ASSERT_TRUE(JoinPath(out, sizeof out, "C:", name.c_str()));
  EXPECT_EQ(std::string(out), "C:\\" + name);
  name += 'x';
  EXPECT_FALSE(JoinPath(out, sizeof out, "C:", name.c_str()));
  EXPECT_STREQ(out, "");

  // The folder may be the output itself.
  char folder[32] = "C:\\Korvex";
  ASSERT_TRUE(JoinPath(folder, sizeof folder, folder, "b"));
  EXPECT_STREQ(folder, "C:\\Korvex\\b");
}

TEST(Paths, FolderOfAPathKeepsADriveRootsBackslash) {
  char out[64];
  ASSERT_TRUE(FolderOfPath(out, sizeof out, "C:\\Programmi\\Korvex\\Uninstall.exe"));
  EXPECT_STREQ(out, "C:\\Programmi\\Korvex");
  ASSERT_TRUE(FolderOfPath(out, sizeof out, "C:\\Uninstall.exe"));
  EXPECT_STREQ(out, "C:\\");
  EXPECT_FALSE(FolderOfPath(out, sizeof out, "Uninstall.exe"));
  EXPECT_FALSE(FolderOfPath(out, 5, "C:\\Korvex\\x.exe"));
  EXPECT_STREQ(out, "");
}

TEST(Paths, ListEntriesThatWouldLeaveTheFolderAreRefused) {
  for (const char* inside : {"Korvex.exe", "doc\\a.txt", "doc/a.txt", " blank", "a..b", "...x", "x\\.\\y", ".hidden",
                             "\\single", "dir\\", "console.txt", "com10", "COM0.txt", "lpt", "auxiliary",
                             "doc\\prn2", "nul_", "con$"}) {
    EXPECT_TRUE(IsEntryInsideFolder(inside)) << inside;
  }
  for (const char* outside : {"..", "..\\x", "../x", "doc\\..\\..\\x", "doc/../../x", "x\\..", "...", "x\\. .\\y",
                              ".. \\x", "C:\\Windows\\x", "C:x", "D:", "x:y", "\\\\server\\share\\x",
                              "//server/share/x", "\\\\?\\C:\\x", "\\/x", "",
                              // devices, in every folder and with any extension
                              "CON", "com1.txt", "AUX", "LPT1", "PRN.txt", "doc\\nul", "Con .log", "lpt9.x.y",
                              "doc/ConOut$", "COM\xb9"}) {
    EXPECT_FALSE(IsEntryInsideFolder(outside)) << outside;
  }
  // The log says why.
  EXPECT_STREQ(EntryRefusal("doc\\..\\..\\x"), "leads out of the folder");
  EXPECT_STREQ(EntryRefusal("doc\\com1.txt"), "names a device");
  EXPECT_STREQ(EntryRefusal("C:\\x"), "not relative");
  EXPECT_EQ(EntryRefusal("doc\\a..b"), nullptr);
}

TEST(Paths, RootsOfDrivesAndSharesAreKnown) {
  for (const char* root : {"C:\\", "C:", "k:/", "C:\\\\", "\\\\server\\share", "\\\\server\\share\\", "\\\\?\\C:\\",
                           "\\\\.\\D:", "\\", ""}) {
    EXPECT_TRUE(IsRootPath(root)) << root;
  }
  for (const char* below : {"C:\\Korvex", "C:\\Korvex\\", "K:\\a\\b", "C:/a", "\\\\server\\share\\Korvex",
                            "\\\\server\\share/x", "\\\\?\\C:\\x", "\\Korvex"}) {
    EXPECT_FALSE(IsRootPath(below)) << below;
  }
}

TEST(Paths, PlainFileNamesForLinks) {
  for (const char* good : {"Guida a Korvex", "Manuale di KVX in modalit\xe0 carattere", "a.b", "..x"}) {
    EXPECT_TRUE(IsPlainFileName(good)) << good;
  }
  for (const char* bad : {"", ".", "..", " ", ". .", "..\\Startup\\Manual", "a/b", "C:x", "a*", "a?", "a\"b", "a<b",
                          "a>b", "a|b", "tab\there", "line\nfeed"}) {
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
  }
}

TEST(Paths, CommandPathsWithBlanksAreQuoted) {
  char out[kPathSize + 2];
  ASSERT_TRUE(QuoteCommandPath(out, sizeof out, "C:\\Korvex\\Korvex.exe"));
  EXPECT_STREQ(out, "C:\\Korvex\\Korvex.exe");
  ASSERT_TRUE(QuoteCommandPath(out, sizeof out, "C:\\Program Files\\Korvex\\Korvex.exe"));
  EXPECT_STREQ(out, "\"C:\\Program Files\\Korvex\\Korvex.exe\"");
  std::string longest(kPathSize - 1, 'a');
  longest[10] = ' ';
  ASSERT_TRUE(QuoteCommandPath(out, sizeof out, longest.c_str()));
  EXPECT_EQ(std::string(out), "\"" + longest + "\"");
  EXPECT_FALSE(QuoteCommandPath(out, 8, "a b c d e"));
  EXPECT_STREQ(out, "");
}
