#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <string.h>

#include <string>

#include "engine_support.h"
#include "lang/language.h"
#include "platform/deletion.h"
#include "platform/process.h"
#include "setup/links.h"
#include "win_support.h"

namespace {

std::string Special(int csidl) {
  LPITEMIDLIST items = nullptr;
  char path[MAX_PATH] = "";
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, csidl, &items))) {
    SHGetPathFromIDListA(items, path);
    CoTaskMemFree(items);
  }
  return path;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Reads a link back through the shell: target and description.
struct LinkInfo {
  bool ok = false;
  std::string target, description;
};
LinkInfo ReadLink(const std::string& file) {
  LinkInfo info;
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return info;
  }
  IPersistFile* persist = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(persist->Load(wide, STGM_READ))) {
      char buffer[MAX_PATH] = "";
      link->GetPath(buffer, MAX_PATH, nullptr, 0);
      info.target = buffer;
      buffer[0] = '\0';
      link->GetDescription(buffer, MAX_PATH);
      info.description = buffer;
      info.ok = true;
    }
    persist->Release();
  }
  link->Release();
  return info;
}

IntegrationSettings Links(bool desktop, bool startMenu, bool programs) {
  IntegrationSettings s;
  memset(&s, 0, sizeof s);
  s.Desktop = desktop;
  s.StartMenu = startMenu;
  s.Programs = programs;
  return s;
}

class LinksTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OleInitialize(nullptr); }
  static void TearDownTestSuite() { OleUninitialize(); }
  void SetUp() override { Clear(); }
  void TearDown() override {
    Clear();
    StopLanguage();
  }
  void Clear() {
    IntegrationSettings none = Links(false, false, false);
    ApplyLinks(&none, nullptr, 0);
  }
  void ExpectLink(const std::string& file, const std::string& targetName) {
    LinkInfo info = ReadLink(file);
    ASSERT_TRUE(info.ok) << file;
    EXPECT_EQ(CompareTextNoCase(info.target.c_str(), (ExeFolder() + targetName).c_str()), 0) << info.target;
    EXPECT_EQ(info.description, "Korvex") << file;
  }
  void ExpectGroup(const std::string& group, const std::string& help, const std::string& manual) {
    ExpectLink(group + "\\Korvex.lnk", "Korvex.exe");
    ExpectLink(group + "\\" + help + ".lnk", "Korvex.hlp");
    ExpectLink(group + "\\" + manual + ".lnk", "Kvx.txt");
  }
};

}  // namespace

TEST_F(LinksTest, EveryPlaceMadeAndReadBack) {
  char group[1024] = "untouched";
  IntegrationSettings all = Links(true, true, true);
  ApplyLinks(&all, group, sizeof group);
  std::string userGroup = Special(CSIDL_PROGRAMS) + "\\Korvex";
  EXPECT_EQ(std::string(group), userGroup);
  ExpectLink(Special(CSIDL_DESKTOPDIRECTORY) + "\\Korvex.lnk", "Korvex.exe");
  ExpectLink(Special(CSIDL_STARTMENU) + "\\Korvex.lnk", "Korvex.exe");
  ExpectGroup(userGroup, "Guida a Korvex", "Manuale di KVX in modalit\xe0 carattere");
  std::string common = Special(CSIDL_COMMON_PROGRAMS) + "\\Korvex";
  if (GetNtMajorVersion() != 0) {
    ExpectGroup(common, "Guida a Korvex", "Manuale di KVX in modalit\xe0 carattere");
  } else if (!Special(CSIDL_COMMON_PROGRAMS).empty()) {
    EXPECT_FALSE(Exists(common));  // the 9x family has no all-users group
  }
  // Twice: the same single link in each place.
  ApplyLinks(&all, nullptr, 0);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((userGroup + "\\*.lnk").c_str(), &found);
  int count = 0;
  if (search != INVALID_HANDLE_VALUE) {
    do ++count;
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  EXPECT_EQ(count, 3);
}

TEST_F(LinksTest, ClearFlagsRemoveLinksAndWholeGroups) {
  IntegrationSettings all = Links(true, true, true);
  ApplyLinks(&all, nullptr, 0);
  std::string userGroup = Special(CSIDL_PROGRAMS) + "\\Korvex";
  ASSERT_TRUE(WriteFileBytes(userGroup + "\\Aggiunto dall'utente.txt", "user's"));
  // The 9x family has no all-users group of ours: a "Korvex" group found there belongs to someone
  // else and stays.
  bool nt = GetNtMajorVersion() != 0;
  std::string common = Special(CSIDL_COMMON_PROGRAMS);
  ASSERT_FALSE(common.empty());
  common += "\\Korvex";
  std::string foreign = common + "\\Altro programma.txt";
  if (!nt) {
    CreateDirectoryA(common.c_str(), nullptr);
    ASSERT_TRUE(WriteFileBytes(foreign, "someone else's"));
  }
  char group[1024] = "untouched";
  IntegrationSettings none = Links(false, false, false);
  ApplyLinks(&none, group, sizeof group);
  EXPECT_STREQ(group, "untouched");
  EXPECT_FALSE(Exists(Special(CSIDL_DESKTOPDIRECTORY) + "\\Korvex.lnk"));
  EXPECT_FALSE(Exists(Special(CSIDL_STARTMENU) + "\\Korvex.lnk"));
  EXPECT_FALSE(Exists(userGroup));
  if (nt) {
    EXPECT_FALSE(Exists(common));
  } else {
    EXPECT_TRUE(Exists(foreign));
    DeleteFileA(foreign.c_str());
    RemoveDirectoryA(common.c_str());
  }
  // Only the desktop link goes when only its flag is cleared.
  ApplyLinks(&all, nullptr, 0);
  IntegrationSettings noDesktop = Links(false, true, true);
  ApplyLinks(&noDesktop, nullptr, 0);
  EXPECT_FALSE(Exists(Special(CSIDL_DESKTOPDIRECTORY) + "\\Korvex.lnk"));
  EXPECT_TRUE(Exists(Special(CSIDL_STARTMENU) + "\\Korvex.lnk"));
  EXPECT_TRUE(Exists(userGroup + "\\Korvex.lnk"));
}

TEST_F(LinksTest, ItemNamesFollowTheLanguage) {
  StartLanguage(nullptr, LanguageFileWith(Entry('s', nullptr, "Guida a Korvex", "Korvex Help") +
                                          Entry('s', nullptr, "Manuale di KVX in modalit\xe0 carattere", "KVX manual")));
  IntegrationSettings programs = Links(false, false, true);
  ApplyLinks(&programs, nullptr, 0);
  ExpectGroup(Special(CSIDL_PROGRAMS) + "\\Korvex", "Korvex Help", "KVX manual");
}

TEST_F(LinksTest, TranslatedNamesThatAreNoPlainFileNameGiveWayToTheBuiltInOnes) {
  // A name with a path would make (and leave) a link elsewhere, the Startup folders included.
  StartLanguage(nullptr, LanguageFileWith(Entry('s', nullptr, "Guida a Korvex", "..\\Startup\\Guida") +
                                          Entry('s', nullptr, "Manuale di KVX in modalit\xe0 carattere", "a|b")));
  IntegrationSettings programs = Links(false, false, true);
  ApplyLinks(&programs, nullptr, 0);
  std::string group = Special(CSIDL_PROGRAMS) + "\\Korvex";
  ExpectGroup(group, "Guida a Korvex", "Manuale di KVX in modalit\xe0 carattere");
  EXPECT_FALSE(Exists(Special(CSIDL_PROGRAMS) + "\\Startup\\Guida.lnk"));
  EXPECT_FALSE(Exists(group + "\\..\\Startup\\Guida.lnk"));
}

TEST_F(LinksTest, NoLinkIsSavedWithATargetBeyondTheShellsLimit) {
  std::string link = ExeFolder() + "long-target.lnk";
  std::string target = "C:\\" + std::string(MAX_PATH, 'd') + "\\Korvex.exe";
  EXPECT_FALSE(CreateShellLink(target.c_str(), link.c_str(), "Korvex"));
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(CreateShellLink("C:\\Korvex\\Korvex.exe", link.c_str(), "Korvex"));
  EXPECT_EQ(ReadLink(link).target, "C:\\Korvex\\Korvex.exe");
  DeleteFileA(link.c_str());
}

TEST(FolderTree, GoesWholeWithReadOnlyFilesAndIsNoErrorWhenMissing) {
  std::string folder = ExeFolder() + "tree-to-delete";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(folder + "\\sub\\f.txt", "x"));
  SetFileAttributesA((folder + "\\sub\\f.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteFolderTree(folder.c_str()));
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(DeleteFolderTree(folder.c_str()));
}
