#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "call_count.h"
#include "platform/process.h"
#include "platform/text.h"
#include "win_support.h"

TEST(WindowsFamily, VersionAnswerMatchesTheEmulatedFamilyAndIsAskedOnce) {
  const char* family = getenv("KVX_EXPECT_FAMILY");
  const long before = VersionQueries();
  unsigned long major = GetNtMajorVersion();
  if (family != nullptr && strcmp(family, "9x") == 0) {
    EXPECT_EQ(major, 0u);
  } else {
    EXPECT_GE(major, 4u);
  }
  for (int i = 0; i < 5; ++i) EXPECT_EQ(GetNtMajorVersion(), major);
  IsNewerSystem();
  // None when an earlier test already asked.
  EXPECT_LE(VersionQueries() - before, 1);
}

TEST(CompareTextNoCase, LocaleComparisonIgnoringCase) {
  EXPECT_EQ(CompareTextNoCase("combobox", "COMBOBOX"), 0);
  EXPECT_EQ(CompareTextNoCase("ComboBox", "Button"), 1);
  EXPECT_EQ(CompareTextNoCase("Button", "ComboBox"), -1);
  EXPECT_EQ(CompareTextNoCase("\xe0", "\xc0"), 0);  // accented letters fold too (Windows-1252)
}

TEST(LaunchCommand, StartsWaitsAndReportsFailure) {
  std::string marker = ExeFolder() + "launched.txt";
  DeleteFileA(marker.c_str());
  char command[1024];
  snprintf(command, sizeof command, "cmd.exe /c echo ok> \"%s\"", marker.c_str());
  EXPECT_TRUE(LaunchCommand(command, nullptr, 20000));
  EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(marker.c_str());

  // A working folder is honoured: a relative name lands there.
  std::string folder = ExeFolder();
  char relative[] = "cmd.exe /c echo ok> launched.txt";
  EXPECT_TRUE(LaunchCommand(relative, folder.c_str(), 20000));
  EXPECT_NE(GetFileAttributesA(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileA(marker.c_str());

  char missing[] = "C:\\no\\such\\Korvex.exe";
  EXPECT_FALSE(LaunchCommand(missing, nullptr, 0));
}

// A library of the system's comes from the system folder: one of the same name beside the program,
// which a bare name would take, is not.
TEST(SystemLibraries, ComeFromTheSystemFolderNeverFromTheProgramsOwn) {
  const std::string planted = ExeFolder() + "kvxplanted.dll";
  ASSERT_TRUE(CopyFileA((ExeFolder() + "kvxlng_partial.dll").c_str(), planted.c_str(), FALSE));
  HMODULE byName = LoadLibraryA("kvxplanted.dll");
  EXPECT_NE(byName, nullptr);
  if (byName != nullptr) FreeLibrary(byName);
  EXPECT_EQ(LoadSystemLibrary("kvxplanted.dll"), nullptr);
  EXPECT_TRUE(DeleteFileA(planted.c_str()));

  HMODULE version = static_cast<HMODULE>(LoadSystemLibrary("version.dll"));
  ASSERT_NE(version, nullptr);
  char path[MAX_PATH], system[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(version, path, sizeof path), 0u);
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  EXPECT_TRUE(EqualsNoCaseAscii(path, system, static_cast<int>(strlen(system)))) << path;
}

TEST(Resources, IconGroupsAndTheirOrder) {
  HMODULE self = GetModuleHandleA(nullptr);
  EXPECT_NE(LoadIconA(self, "KVXICON"), nullptr);
  EXPECT_NE(LoadIconA(self, "DELICON"), nullptr);
  // The shell shows the first icon group of the file.
  struct First {
    static BOOL CALLBACK Take(HMODULE, LPCSTR, LPSTR name, LONG_PTR out) {
      std::string* first = reinterpret_cast<std::string*>(out);
      *first = IS_INTRESOURCE(name) ? "#" : name;
      return FALSE;
    }
  };
  std::string first;
  EnumResourceNamesA(self, RT_GROUP_ICON, First::Take, reinterpret_cast<LONG_PTR>(&first));
  EXPECT_EQ(first, "DELICON");
  auto imagesOf = [self](const char* name) {
    HRSRC found = FindResourceA(self, name, RT_GROUP_ICON);
    if (found == nullptr) return -1;
    const WORD* dir = static_cast<const WORD*>(LockResource(LoadResource(self, found)));
    return static_cast<int>(dir[2]);
  };
  EXPECT_EQ(imagesOf("DELICON"), 6);
  EXPECT_EQ(imagesOf("KVXICON"), 5);
}
