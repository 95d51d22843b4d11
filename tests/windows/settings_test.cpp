#include <gtest/gtest.h>

#include "engine_support.h"
#include "registry_support.h"
#include "setup/settings.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override { ResetIntegrationState(); }
  void TearDown() override { ResetIntegrationState(); }
};

IntegrationSettings Loaded() {
  IntegrationSettings s;
  memset(&s, 0x5A, sizeof s);
  LoadIntegrationSettings(&s);
  return s;
}

}  // namespace

TEST_F(Settings, FirstSetupDefaults) {
  IntegrationSettings s = Loaded();
  for (int i = 0; i < kArchiveTypeCount; ++i) EXPECT_EQ(s.types[i], 1) << i;
  for (int i = kArchiveTypeCount; i < kArchiveTypeRoom; ++i) EXPECT_EQ(s.types[i], 0) << i;
  EXPECT_EQ(s.Desktop, 0);
  EXPECT_EQ(s.StartMenu, 0);
  EXPECT_EQ(s.Programs, 1);
  EXPECT_EQ(s.ShellExt, 1);
  EXPECT_EQ(s.CascadedMenu, 0);
  EXPECT_EQ(s.MenuIcons, 1);
}

TEST_F(Settings, StoredValuesRoundTripAndNonZeroMeansOne) {
  SetDword(HKEY_CURRENT_USER, OwnSetupKey(".zip"), "Set", 0);
  SetDword(HKEY_CURRENT_USER, OwnSetupKey(".cab"), "Set", 2);
  SetDword(HKEY_CURRENT_USER, OwnSetupKey(".arj"), "Set", 255);
  SetDword(HKEY_CURRENT_USER, OwnSetupKey(".lha"), "Set", 0);  // not a key extension: never read
  SetString(HKEY_CURRENT_USER, OwnSetupKey(".ace"), "Set", "0");  // not a number: the default
  SetDword(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Links", "Desktop", 7);
  SetDword(HKEY_CURRENT_USER, "Software\\Korvex\\Setup", "ShellExt", 0);
  IntegrationSettings s = Loaded();
  EXPECT_EQ(s.types[1], 0);
  EXPECT_EQ(s.types[2], 1);
  EXPECT_EQ(s.types[3], 1);
  EXPECT_EQ(s.types[4], 1);
  EXPECT_EQ(s.types[5], 1);
  EXPECT_EQ(s.Desktop, 1);
  EXPECT_EQ(s.ShellExt, 0);
  StoreIntegrationSettings(&s);
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, OwnSetupKey(".cab"), "Set"), 1u);
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, OwnSetupKey(".arj"), "Set"), 1u);
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, OwnSetupKey(".ace"), "Set"), 1u);
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, "Software\\Korvex\\Setup\\Links", "Desktop"), 1u);
  IntegrationSettings again = Loaded();
  EXPECT_EQ(memcmp(&again, &s, sizeof s), 0);
}

TEST_F(Settings, StoringAllClearWritesSeventeenZerosAndRemovesNothing) {
  SetString(HKEY_CURRENT_USER, OwnSetupKey(".gz"), "Type", "Other.Gz");
  IntegrationSettings s;
  memset(&s, 0, sizeof s);
  s.types[15] = 1;  // beyond the eleven types: never stored
  StoreIntegrationSettings(&s);
  RegSnapshot own = SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex");
  int values = 0;
  for (const auto& key : own) {
    for (const auto& value : key.second) {
      if (value.first == "Type") continue;
      ++values;
      EXPECT_EQ(value.second.type, static_cast<DWORD>(REG_DWORD)) << key.first << "\\" << value.first;
      EXPECT_EQ(value.second.data, std::string(4, '\0')) << key.first << "\\" << value.first;
    }
  }
  EXPECT_EQ(values, 17);
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".gz"), "Type"), "Other.Gz");
}

TEST(ExtensionLists, SplitAtEveryFurtherDot) {
  const char* list = ".bz2.tbz2.bz.tbz";
  char ext[16];
  std::string parts;
  while (*list != '\0') {
    list = NextExtension(list, ext, sizeof ext);
    parts += std::string(ext) + "|";
  }
  EXPECT_EQ(parts, ".bz2|.tbz2|.bz|.tbz|");
  int total = 0;
  for (const ArchiveType& type : ArchiveTypeTable) {
    const char* p = type.extensions;
    p = NextExtension(p, ext, sizeof ext);
    EXPECT_STREQ(ext, type.keyExtension);
    ++total;
    while (*p != '\0') {
      p = NextExtension(p, ext, sizeof ext);
      ++total;
    }
  }
  EXPECT_EQ(total, 18);
}
