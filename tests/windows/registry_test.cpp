#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "platform/process.h"
#include "platform/registry.h"
#include "call_count.h"
#include "registry_support.h"
#include "setup/settings.h"

namespace {

const char kOwn[] = "Software\\Korvex";
bool NineX() { return GetNtMajorVersion() == 0; }

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveTree(HKEY_CURRENT_USER, kOwn);
    RemoveTree(HKEY_CURRENT_USER, "Software\\KvxTop");
    RemoveTree(HKEY_CLASSES_ROOT, ".kvxtest");
    RemoveTree(HKEY_LOCAL_MACHINE, "Software\\KvxTest");
  }
  void TearDown() override { SetUp(); }
};

}  // namespace

TEST_F(Registry, OwnKeyPathConvention) {
  WriteOwnRegString("Setup", "Type", "abc");
  EXPECT_EQ(ValueType(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Type"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup")["Software\\Korvex\\Setup"]["Type"].data,
            std::string("abc\0", 4));
  WriteOwnRegDword("Setup\\Links", "Desktop", 1);
  EXPECT_EQ(ValueType(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Links", "Desktop"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Links", "Desktop"), 1u);
  WriteOwnRegString("", "Root", "x");
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, kOwn, "Root"), "x");
  // The platform's functions take every path as it stands, below any root.
  WriteRegString(HKEY_CURRENT_USER, "Software\\KvxTop", "v", "top");
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, "Software\\KvxTop", "v"), "top");
  // Other roots take the path unchanged.
  WriteRegString(HKEY_CLASSES_ROOT, ".kvxtest", "", "Korvex");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".kvxtest", ""), "Korvex");
  WriteRegString(HKEY_LOCAL_MACHINE, "Software\\KvxTest\\Sub", "n", "m");
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, "Software\\KvxTest\\Sub", "n"), "m");
  BYTE bytes[3] = {1, 0, 2};
  WriteRegBinary(HKEY_LOCAL_MACHINE, "Software\\KvxTest", "b", bytes, 3);
  EXPECT_EQ(ValueType(HKEY_LOCAL_MACHINE, "Software\\KvxTest", "b"), static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, "Software\\KvxTest", "b"), std::string("\x01\x00\x02", 3));
}

TEST_F(Registry, OwnPathsThatDoNotFitAreRefusedNotCut) {
  // The own key and a path below it: more than 255 characters are never written cut.
  std::string tooLong(256 - strlen("Software\\Korvex\\"), 'a');
  // Nothing is written under a cut name, and reads give their default.
  EXPECT_EQ(WriteOwnRegString(tooLong.c_str(), "v", "x"), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kOwn));
  char text[16];
  EXPECT_FALSE(ReadOwnRegString(tooLong.c_str(), "v", text, sizeof text, "dflt"));
  EXPECT_STREQ(text, "dflt");
}

TEST_F(Registry, ReadsNeverReturnWhatDidNotFit) {
  WriteOwnRegString("Setup", "Type", "abcdef");
  char buffer[8];
  EXPECT_TRUE(ReadOwnRegString("Setup", "Type", buffer, sizeof buffer, "d"));
  EXPECT_STREQ(buffer, "abcdef");
  char small[6];
  EXPECT_FALSE(ReadOwnRegString("Setup", "Type", small, sizeof small, "dflt"));
  EXPECT_STREQ(small, "dflt");
  EXPECT_FALSE(ReadOwnRegString("Setup", "Missing", buffer, sizeof buffer, "none"));
  EXPECT_STREQ(buffer, "none");
  EXPECT_FALSE(ReadOwnRegString("NoSuchKey", "Type", buffer, sizeof buffer, ""));
  EXPECT_STREQ(buffer, "");
  // A string stored without its NUL that fills the buffer exactly would come back unterminated.
  SetRaw(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Raw", REG_SZ, "12345678");
  memset(buffer, 'x', sizeof buffer);
  bool read = ReadOwnRegString("Setup", "Raw", buffer, sizeof buffer, "dflt");
  EXPECT_EQ(strnlen(buffer, sizeof buffer) < sizeof buffer, true);
  if (read) {
    EXPECT_STREQ(buffer, "1234567");  // Wine may add the NUL and report more data
  }
  SetRaw(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Short", REG_BINARY, "abc");
  memset(buffer, 'x', sizeof buffer);
  EXPECT_TRUE(ReadOwnRegString("Setup", "Short", buffer, sizeof buffer, "dflt"));
  EXPECT_STREQ(buffer, "abc");
}

TEST_F(Registry, NumbersOfUpToFourBytesAreZeroExtendedOthersTheDefault) {
  WriteOwnRegDword("Setup", "N", 0x01020304);
  EXPECT_EQ(GetOwnRegDword("Setup", "N", 7), 0x01020304u);
  EXPECT_EQ(GetOwnRegDword("Setup", "Missing", 7), 7u);
  EXPECT_EQ(GetOwnRegDword("Nothing", "N", 9), 9u);
  SetString(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Str", "0");  // two bytes: '0' and NUL
  EXPECT_EQ(GetOwnRegDword("Setup", "Str", 1), 0x30u);
  // Another tool's one-byte binary 00 for a flag is that flag off, not its default.
  SetRaw(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "ShellExt", REG_BINARY, std::string("\0", 1));
  EXPECT_EQ(GetOwnRegDword("Setup", "ShellExt", 1), 0u);
  SetRaw(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Three", REG_BINARY, std::string("\x01\x02\x03", 3));
  EXPECT_EQ(GetOwnRegDword("Setup", "Three", 1), 0x030201u);
  SetRaw(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Empty", REG_BINARY, std::string());
  EXPECT_EQ(GetOwnRegDword("Setup", "Empty", 6), 6u);
  SetString(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Long", "12345678");
  EXPECT_EQ(GetOwnRegDword("Setup", "Long", 5), 5u);
  SetRaw(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Bin", REG_BINARY, std::string("\x02\0\0\0", 4));
  DWORD n = 0;
  EXPECT_TRUE(ReadRegDword(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "Bin", &n, 5));
  EXPECT_EQ(n, 2u);
}

TEST_F(Registry, ValuesKeysAndExistence) {
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Setup"));
  WriteOwnRegString("Setup\\Empty\\Leaf", "v", "x");
  DeleteRegValue(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty\\Leaf", "v");
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty\\Leaf"));  // a key without values exists
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty\\Leaf", "v"));
  EXPECT_EQ(DeleteRegValue(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty\\Leaf", "v"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(DeleteRegValue(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Nowhere", "v"), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Nowhere"));
  // A key with subkeys: the NT family refuses, the 9x family takes the subkeys along.
  LONG status = DeleteRegKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty");
  if (NineX()) {
    EXPECT_EQ(status, ERROR_SUCCESS);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty\\Leaf"));
  } else {
    EXPECT_NE(status, ERROR_SUCCESS);
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty\\Leaf"));
  }
  EXPECT_EQ(DeleteRegKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Empty\\Leaf") == ERROR_SUCCESS, !NineX());
  EXPECT_NE(DeleteRegKey(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Absent"), ERROR_SUCCESS);
}

TEST_F(Registry, TreeDeletionRemovesDeepWideTreesAndNothingAbove) {
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 3; ++b) {
      for (int c = 0; c < 3; ++c) {
        std::string path = "Tree\\A" + std::to_string(a) + "\\B" + std::to_string(b) + "\\C" + std::to_string(c);
        WriteOwnRegString(path.c_str(), "v", "x");
      }
      WriteOwnRegDword(("Tree\\A" + std::to_string(a) + "\\B" + std::to_string(b)).c_str(), "n", 1);
    }
  }
  WriteOwnRegString("Keep", "v", "x");
  ASSERT_EQ(SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex\\Tree").size(), 1u + 4 + 12 + 36);
  EXPECT_EQ(DeleteRegTree(HKEY_CURRENT_USER, "Software\\Korvex\\Tree"), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Tree"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Keep"));
  // Gone already: nothing happens, and the status says so.
  EXPECT_EQ(DeleteRegTree(HKEY_CURRENT_USER, "Software\\Korvex\\Tree"), ERROR_FILE_NOT_FOUND);
  DeleteRegTree(HKEY_CURRENT_USER, kOwn);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kOwn));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
  EXPECT_NE(DeleteRegTree(HKEY_CURRENT_USER, ""), ERROR_SUCCESS);  // the root itself is never deleted
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

TEST_F(Registry, TreeDeletionTakesLongNames) {
  // Long subkey names are enumerated whole and go too.
  std::string longName(230, 'n');
  SetString(HKEY_CURRENT_USER, "Software\\Korvex\\Deep\\" + longName, "v", "x");
  WriteOwnRegString("Deep\\Short", "v", "x");
  if (!KeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Deep\\" + longName)) GTEST_SKIP() << "name refused here";
  EXPECT_EQ(DeleteRegTree(HKEY_CURRENT_USER, "Software\\Korvex\\Deep"), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Deep"));
  RemoveTree(HKEY_CURRENT_USER, kOwn);
}

TEST_F(Registry, EveryOpenedKeyIsClosed) {
  // Each operation opens at most one key and closes it: run many and count the calls made.
  long before = RegistryCalls();
  for (int i = 0; i < 50; ++i) {
    WriteOwnRegString("Setup", "Type", "abc");
    char buffer[8];
    ReadOwnRegString("Setup", "Type", buffer, sizeof buffer, "");
    RegKeyExists(HKEY_CURRENT_USER, "Software\\Korvex\\Setup");
  }
  // Per round: create+set+close, open+query+close, open+close.
  EXPECT_EQ(RegistryCalls() - before, 50 * (3 + 3 + 2));
}
