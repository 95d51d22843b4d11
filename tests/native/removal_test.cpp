#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "removal/batch_text.h"
#include "removal/file_list.h"

namespace {

std::vector<std::string> Entries(std::string text) {
  text.push_back('\0');  // the writable byte after the text
  char* cursor = &text[0];
  char* end = cursor + text.size() - 1;
  std::vector<std::string> out;
  while (char* entry = NextListEntry(&cursor, end)) out.push_back(entry);
  return out;
}

std::string Batch(bool nt, const char* program, const char* folder, const char* batch, bool silent = false) {
  std::vector<char> out(64 * 1024);
  long n = ComposeSelfDeletionBatch(out.data(), out.size(), nt, program, folder, batch, silent);
  EXPECT_GE(n, 0);
  return n < 0 ? std::string() : std::string(out.data(), static_cast<size_t>(n));
}

}  // namespace

TEST(FileList, LineEndsTrimmingAndBlankLines) {
  const std::vector<std::string> expected = {"Korvex.exe", "doc\\a.txt", "  leading", "last"};
  EXPECT_EQ(Entries("Korvex.exe\r\ndoc\\a.txt \t\r\n\r\n \t \r\n  leading\r\nlast"), expected);
  EXPECT_EQ(Entries("Korvex.exe\ndoc\\a.txt\t\n\n   \n  leading\nlast\n"), expected);
  EXPECT_EQ(Entries(""), std::vector<std::string>());
  EXPECT_EQ(Entries("\r\n\n \n"), std::vector<std::string>());
  EXPECT_EQ(Entries("a\r\r\nb"), (std::vector<std::string>{"a", "b"}));
  // A NUL inside a line ends that entry, as a text line read would.
  EXPECT_EQ(Entries(std::string("a\0z\nb", 5)), (std::vector<std::string>{"a", "b"}));
}

TEST(FileList, OverlongLinesAreSkippedNotCut) {
  std::string fits(kListLineSize - 2, 'f');  // with its line feed: 2047 characters
  std::string over(kListLineSize - 1, 'o');
  EXPECT_EQ(Entries(fits + "\n" + over + "\nnext"), (std::vector<std::string>{fits, "next"}));
  // Without a line feed at the end of the text, 2047 characters are still a whole line.
  EXPECT_EQ(Entries("first\n" + over), (std::vector<std::string>{"first", over}));
  EXPECT_EQ(Entries("first\n" + over + "o"), (std::vector<std::string>{"first"}));
}

TEST(BatchText, NtFamilyByteForByte) {
  const std::string block =
      "del \"C:\\Korvex\\Uninstall.exe\"\r\nrd \"C:\\Korvex\"\r\nif not exist \"C:\\Korvex\\Uninstall.exe\" goto done\r\n";
  std::string expected = "\"C:\\Korvex\\Uninstall.exe\" /wait\r\n";
  for (int i = 0; i < 5; ++i) expected += block;
  expected +=
      ":done\r\nif exist \"C:\\Korvex\\Uninstall.exe\" \"C:\\Korvex\\Uninstall.exe\" /warning\r\n"
      "del \"C:\\T\\Uninstall.Kvx.Bat\"";
  std::string text = Batch(true, "C:\\Korvex\\Uninstall.exe", "C:\\Korvex", "C:\\T\\Uninstall.Kvx.Bat");
  EXPECT_EQ(text, expected);
  int lines = 1;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 19);
}

TEST(BatchText, NinetyFiveFamilySilentModeAndPercentSigns) {
  // The 9x family only adds "start /wait", which makes its interpreter wait for a Windows program.
  EXPECT_EQ(Batch(false, "C:\\Program Files\\K\\U.exe", "C:\\Program Files\\K", "C:\\T\\B.bat"),
            "start /wait " + Batch(true, "C:\\Program Files\\K\\U.exe", "C:\\Program Files\\K", "C:\\T\\B.bat"));

  std::string silent = Batch(true, "C:\\K\\U.exe", "C:\\K", "C:\\T\\B.bat", true);
  EXPECT_NE(silent.find("if exist \"C:\\K\\U.exe\" \"C:\\K\\U.exe\" /warning /s\r\ndel"), std::string::npos);

  // "%" is expanded by the interpreter even inside quotes: every one is doubled, nothing else.
  std::string percent = Batch(true, "C:\\100%Korvex\\U.exe", "C:\\100%Korvex", "C:\\T%\\B.bat");
  EXPECT_EQ(percent.find("100%K"), std::string::npos);
  EXPECT_NE(percent.find("rd \"C:\\100%%Korvex\"\r\n"), std::string::npos);
  EXPECT_NE(percent.find("del \"C:\\T%%\\B.bat\""), std::string::npos);
}

TEST(BatchText, LongestPathsFitAndATooSmallBufferIsRefused) {
  std::string path(1023, '%');
  std::vector<char> out(19 * 2 * 1024 + 512);
  long n = ComposeSelfDeletionBatch(out.data(), out.size(), false, path.c_str(), path.c_str(), path.c_str(), true);
  ASSERT_GT(n, 19 * 2 * 1023);
  EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
  char small[65];
  memset(small, 'Z', sizeof small);
  EXPECT_EQ(ComposeSelfDeletionBatch(small, 64, true, "C:\\K\\U.exe", "C:\\K", "C:\\T\\B.bat", false), -1);
  EXPECT_EQ(small[64], 'Z');  // never written past its size
}
