#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "platform/file_list.h"
#include "platform/log_text.h"
#include "removal/batch_text.h"
#include "removal/wininit.h"

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

// The merged text, or "refused"; the output has `size` bytes before a guard area that must stay
// untouched, and the input exactly its length (no terminator to lean on).
std::string Merge(const std::string& text, const char* lines, long size = 4096) {
  std::vector<char> in(text.begin(), text.end());
  std::vector<char> out(static_cast<size_t>(size) + 16, 'Z');
  long n = MergeRenameSection(in.data(), static_cast<long>(in.size()), lines, out.data(), static_cast<size_t>(size));
  EXPECT_EQ(std::string(out.begin() + size, out.end()), std::string(16, 'Z'));
  if (n < 0) return "refused";
  EXPECT_LT(n, size);
  EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
  return std::string(out.data(), static_cast<size_t>(n));
}

const char kLines[] = "NUL=C:\\PROGRA~1\\KORVEX\\KVXSHELL.DLL\r\nNUL=C:\\PROGRA~1\\KORVEX\r\n";

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
      "del \"C:\\Korvex\\Uninstall.exe\"\r\n"
      "if not exist \"C:\\Korvex\\Uninstall.exe\" del \"C:\\Korvex\\Uninstall.lst\"\r\n"
      "rd \"C:\\Korvex\"\r\nif not exist \"C:\\Korvex\\Uninstall.exe\" goto done\r\n";
  std::string expected = "\"C:\\Korvex\\Uninstall.exe\" /wait\r\n";
  for (int i = 0; i < 5; ++i) expected += block;
  expected +=
      ":done\r\nif exist \"C:\\Korvex\\Uninstall.exe\" \"C:\\Korvex\\Uninstall.exe\" /warning\r\n"
      "del \"C:\\T\\Uninstall.Kvx.Bat\"";
  std::string text = Batch(true, "C:\\Korvex\\Uninstall.exe", "C:\\Korvex", "C:\\T\\Uninstall.Kvx.Bat");
  EXPECT_EQ(text, expected);
  int lines = 1;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 24);
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
  std::vector<char> out(29 * 2 * 1040 + 512);
  long n = ComposeSelfDeletionBatch(out.data(), out.size(), false, path.c_str(), path.c_str(), path.c_str(), true);
  ASSERT_GT(n, 29 * 2 * 1023);
  EXPECT_EQ(out[static_cast<size_t>(n)], '\0');
  char small[65];
  memset(small, 'Z', sizeof small);
  EXPECT_EQ(ComposeSelfDeletionBatch(small, 64, true, "C:\\K\\U.exe", "C:\\K", "C:\\T\\B.bat", false), -1);
  EXPECT_EQ(small[64], 'Z');  // never written past its size
}

TEST(BatchText, InterpreterCommandLine) {
  char out[2 * 1024 + 8];
  // cmd.exe: quoted where it holds a blank, no AutoRun, and the batch path in two pairs of quotes, which
  // cmd keeps whole whatever it holds; its "%" kept single.
  ASSERT_TRUE(
      ComposeInterpreterCommand(out, sizeof out, "C:\\Program Files\\CMD.EXE", "C:\\T e m p & x^(1)\\100%\\B.Bat"));
  EXPECT_STREQ(out, "\"C:\\Program Files\\CMD.EXE\" /d /c \"\"C:\\T e m p & x^(1)\\100%\\B.Bat\"\"");
  ASSERT_TRUE(ComposeInterpreterCommand(out, sizeof out, "C:\\WINDOWS\\system32\\cmd.exe", "C:\\T\\B.Bat"));
  EXPECT_STREQ(out, "C:\\WINDOWS\\system32\\cmd.exe /d /c \"\"C:\\T\\B.Bat\"\"");
  // COMMAND.COM knows neither "/d" nor cmd's quoting.
  ASSERT_TRUE(ComposeInterpreterCommand(out, sizeof out, "C:\\WINDOWS\\COMMAND.COM", "C:\\My Temp\\B.Bat"));
  EXPECT_STREQ(out, "C:\\WINDOWS\\COMMAND.COM /c \"C:\\My Temp\\B.Bat\"");
  // Two whole paths fit exactly; one byte less is refused and nothing is written past the size.
  std::string interpreter(1023, 'i'), batch(1023, 'b');
  std::vector<char> line(2053 + 1, 'Z');
  ASSERT_TRUE(ComposeInterpreterCommand(line.data(), 2053, interpreter.c_str(), batch.c_str()));
  EXPECT_EQ(std::string(line.data()), interpreter + " /c \"" + batch + "\"");
  line.assign(line.size(), 'Z');
  EXPECT_FALSE(ComposeInterpreterCommand(line.data(), 2052, interpreter.c_str(), batch.c_str()));
  EXPECT_EQ(line[2052], 'Z');
}

TEST(WininitRename, ANewSectionWhenThereIsNone) {
  EXPECT_EQ(Merge("", kLines), std::string("[rename]\r\n") + kLines);
  const std::string other = "[boot]\r\nshell=x\r\n";
  EXPECT_EQ(Merge(other, kLines), other + "[rename]\r\n" + kLines);
  // The last line keeps its own end before the new header.
  EXPECT_EQ(Merge("[boot]\r\nshell=x", kLines), other + "[rename]\r\n" + kLines);
  // "[rename]" that does not begin a line is no header.
  EXPECT_EQ(Merge("note=[rename]\r\n", kLines), std::string("note=[rename]\r\n[rename]\r\n") + kLines);
}

TEST(WininitRename, AnExistingSectionTakesTheLinesRightAfterItsHeader) {
  // Any letter case; the lines already there are kept, after the new ones.
  EXPECT_EQ(Merge("[boot]\r\nshell=x\r\n[ReNaMe]\r\nNUL=C:\\OLD.TXT\r\n[386Enh]\r\n", kLines),
            std::string("[boot]\r\nshell=x\r\n[ReNaMe]\r\n") + kLines + "NUL=C:\\OLD.TXT\r\n[386Enh]\r\n");
  EXPECT_EQ(Merge("[rename]\nNUL=C:\\OLD.TXT", kLines), std::string("[rename]\n") + kLines + "NUL=C:\\OLD.TXT");
  // The header as the last line, with no line end: one is added before the lines.
  EXPECT_EQ(Merge("[boot]\r\n[RENAME]", kLines), std::string("[boot]\r\n[RENAME]\r\n") + kLines);
}

TEST(WininitRename, ATooSmallOutputIsRefusedAndNeverOverrun) {
  const std::string text = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.TXT\r\n";
  const std::string merged = Merge(text, kLines);
  const long fits = static_cast<long>(merged.size()) + 1;
  EXPECT_EQ(Merge(text, kLines, fits), merged);
  for (long size : {fits - 1, 1L, 0L}) EXPECT_EQ(Merge(text, kLines, size), "refused") << size;
  EXPECT_EQ(Merge("", kLines, static_cast<long>(sizeof kLines) + 9), "refused");  // "[rename]\r\n" does not fit
}

TEST(BatchText, OneNamePerInstallationWhateverTheCase) {
  char a[28], b[28], c[28], next[28];
  BatchFileName(a, "C:\\KorvexA\\Uninstall.exe", 0);
  BatchFileName(b, "C:\\KorvexB\\Uninstall.exe", 0);
  BatchFileName(c, "c:\\korvexa\\UNINSTALL.EXE", 0);
  BatchFileName(next, "C:\\KorvexA\\Uninstall.exe", 1);
  EXPECT_STRNE(a, b);
  EXPECT_STREQ(a, c);
  EXPECT_STRNE(a, next);
  // "Uninstall.Kvx." + eight capital hex digits + ".Bat": 26 characters.
  ASSERT_EQ(strlen(a), 26u);
  EXPECT_EQ(std::string(a, 14), "Uninstall.Kvx.");
  EXPECT_EQ(std::string(a + 22), ".Bat");
  for (int i = 14; i < 22; ++i) EXPECT_TRUE(strchr("0123456789ABCDEF", a[i]) != nullptr) << a;
  // The CRC-32 of the capitalised path, as zlib computes it.
  BatchFileName(a, "a", 0);
  EXPECT_STREQ(a, "Uninstall.Kvx.D3D99E8B.Bat");
}

TEST(BatchText, BothRunsOfTheProgramWriteTheSameLog) {
  std::vector<char> out(64 * 1024);
  long n = ComposeSelfDeletionBatch(out.data(), out.size(), true, "C:\\K\\U.exe", "C:\\K", "C:\\T\\B.bat", true,
                                    "C:\\L 100%\\x.log");
  ASSERT_GT(n, 0);
  std::string text(out.data(), static_cast<size_t>(n));
  EXPECT_EQ(text.find("\"C:\\K\\U.exe\" /wait /log=\"C:\\L 100%%\\x.log\"\r\n"), 0u) << text;
  EXPECT_NE(text.find(" /warning /log=\"C:\\L 100%%\\x.log\" /s\r\n"), std::string::npos) << text;
  char name[28];
  LogFileName(name, "C:\\K\\U.exe");
  BatchFileName(out.data(), "c:\\k\\u.EXE", 0);
  EXPECT_EQ(std::string(name).substr(0, 22), std::string(out.data()).substr(0, 22));  // the same key
  EXPECT_STREQ(name + 22, ".log");
}

TEST(RunLog, LinesAndTrimming) {
  LogStamp stamp = {2026, 12, 8, 9, 5, 7, 42};
  char line[64];
  EXPECT_EQ(ComposeLogLine(line, sizeof line, stamp, 1234, "deleted\r\nx"), 43u);
  EXPECT_STREQ(line, "2026-12-08 09:05:07.042 [1234] deleted  x\r\n");
  // Too long: cut, still one whole line.
  std::string text(100, 'a');
  size_t n = ComposeLogLine(line, sizeof line, stamp, 1, text.c_str());
  EXPECT_EQ(n, 63u);
  EXPECT_EQ(std::string(line + 61), "\r\n");
  EXPECT_EQ(strlen(line), n);
  // Kept from the first line that starts in the last bytes.
  const char log[] = "one\r\ntwo\r\nthree\r\n";
  const size_t size = sizeof log - 1;
  EXPECT_EQ(LogKeepFrom(log, size, 8), size - 7);  // "three\r\n"
  EXPECT_EQ(LogKeepFrom(log, size, size), 0u);
  EXPECT_EQ(LogKeepFrom("abcdef", 6, 3), 6u);  // no line starts there: nothing kept
  EXPECT_STREQ(ExitCodeMeaning(3010), "removed; some files go at the next restart");
}
