#include <gtest/gtest.h>

#include <algorithm>
#include <shlobj.h>
#include <string.h>

#include <string>
#include <vector>

#include "call_count.h"
#include "engine_support.h"
#include "lang/language.h"
#include "platform/globals.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "registry_support.h"
#include "removal/clean_registry.h"
#include "setup/apply.h"
#include "setup/links.h"
#include "setup/setup_dialog.h"
#include "setup/uninstall_entry.h"
#include "win_support.h"

namespace {

const std::string kAppPath = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe";
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver";

// Whether the value is there, asked through functions looked up at run time: calls through the
// import slots are counted as the code's own (call_count.h).
bool ValueSeen(HKEY root, const std::string& path, const char* name) {
  typedef LONG(WINAPI * OpenFunction)(HKEY, const char*, DWORD, REGSAM, HKEY*);
  typedef LONG(WINAPI * QueryFunction)(HKEY, const char*, DWORD*, DWORD*, BYTE*, DWORD*);
  typedef LONG(WINAPI * CloseFunction)(HKEY);
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  auto open = reinterpret_cast<OpenFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegOpenKeyExA")));
  auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegQueryValueExA")));
  auto close = reinterpret_cast<CloseFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegCloseKey")));
  HKEY key;
  if (open(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  const bool found = query(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  close(key);
  return found;
}

IntegrationSettings Every(unsigned char flag) {
  IntegrationSettings s;
  memset(&s, 0, sizeof s);
  for (int i = 0; i < kArchiveTypeCount; ++i) s.types[i] = flag;
  s.Desktop = s.StartMenu = s.Programs = s.ShellExt = s.CascadedMenu = s.MenuIcons = flag;
  return s;
}

RegSnapshot Integration() {
  RegSnapshot all;
  for (const char* key : {".kvx", ".zip", ".gz", ".tgz", ".k00", ".k29", "Korvex", "Korvex.ZIP"}) {
    RegSnapshot part = SnapshotKey(HKEY_CLASSES_ROOT, key);
    all.insert(part.begin(), part.end());
  }
  RegSnapshot own = SnapshotKey(HKEY_CURRENT_USER, "Software\\Korvex");
  all.insert(own.begin(), own.end());
  RegSnapshot app = SnapshotKey(HKEY_LOCAL_MACHINE, kAppPath);
  all.insert(app.begin(), app.end());
  return all;
}

class Apply : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OleInitialize(nullptr); }
  static void TearDownTestSuite() { OleUninitialize(); }
  void SetUp() override {
    ResetIntegrationState();
    GetCurrentDirectoryA(sizeof saved_, saved_);
  }
  void TearDown() override {
    SetCurrentDirectoryA(saved_);
    IntegrationSettings none = Every(0);
    ApplySetup(&none, nullptr, 0);
    ResetIntegrationState();
    StopLanguage();
  }
  char saved_[1024];
};

}  // namespace

TEST_F(Apply, EverythingChosenFromAnotherWorkingFolder) {
  std::string other = ExeFolder() + "started-here";
  CreateDirectoryA(other.c_str(), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryA(other.c_str()));
  IntegrationSettings all = Every(1);
  char group[1024] = "";
  ApplySetup(&all, group, sizeof group);
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kAppPath, ""), ExeFolder() + "Korvex.exe");
  // The installation folder is the program's, wherever the setup was started.
  std::string folder = ExeFolder();
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kAppPath, "Path"), folder.substr(0, folder.size() - 1));
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip", ""), "Korvex.ZIP");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "Korvex\\shellex\\DropHandler", ""), "{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "Korvex", ""), "Archivio Korvex");
  EXPECT_NE(std::string(group), "");
  EXPECT_NE(GetFileAttributesA((std::string(group) + "\\Korvex.lnk").c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryA(other.c_str());
}

TEST_F(Apply, TwiceIsLikeOnce) {
  IntegrationSettings all = Every(1);
  ApplySetup(&all, nullptr, 0);
  RegSnapshot once = Integration();
  ApplySetup(&all, nullptr, 0);
  EXPECT_EQ(Integration(), once);
}

TEST_F(Apply, NothingChosenStillRegistersTheApplicationAndReleasesTheRest) {
  IntegrationSettings all = Every(1), none = Every(0);
  ApplySetup(&all, nullptr, 0);
  char group[1024] = "untouched";
  ApplySetup(&none, group, sizeof group);
  EXPECT_STREQ(group, "untouched");
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppPath));
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "Korvex.ZIP", ""), "Archivio Korvex ZIP");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".zip"));
  EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, "Folder\\shellex\\ContextMenuHandlers\\Korvex", ""));
}

TEST_F(Apply, UninstallEntryIsWrittenOnceAndTranslated) {
  WriteUninstallEntry();
  WriteUninstallEntry();
  RegSnapshot entry = SnapshotKey(HKEY_LOCAL_MACHINE, kUninstall);
  ASSERT_EQ(entry.size(), 1u);
  // No archiver and no list beside the test binary: no icon, version, publisher or size, only what is known.
  std::vector<std::string> names;
  for (const auto& value : entry[kUninstall]) names.push_back(value.first);
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareTextNoCase(a.c_str(), b.c_str()) < 0;
  });
  EXPECT_EQ(names, (std::vector<std::string>{"DisplayName", "HelpLink", "InstallDate", "InstallLocation", "ModifyPath",
                                             "NoRepair", "QuietUninstallString", "UninstallString", "URLInfoAbout"}));
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName"), "Korvex gestione archivi");
  char self[1024];
  GetModuleFileNameA(nullptr, self, sizeof self);
  // Always quoted, blank or not: deployment tools split these lines themselves.
  const std::string quoted = std::string("\"") + self + "\"";
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kUninstall, "UninstallString"), quoted);
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kUninstall, "QuietUninstallString"), quoted + " /remove /s");
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kUninstall, "ModifyPath"), quoted + " /setup");
  StartLanguage(nullptr, LanguageFileWith(Entry('s', nullptr, "Korvex gestione archivi", "Korvex archive manager")));
  WriteUninstallEntry();
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName"), "Korvex archive manager");
}

// A silent setup commits the stored choices while it waits for the desktop: the registry and the
// uninstall entry at once, the links only once the desktop is there (a link's COM window asked for
// earlier would start a second desktop). The dialog then takes that result and the group folder and
// commits nothing itself.
TEST_F(Apply, SilentSetupsDialogTakesTheEarlyCommit) {
  char programs[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE));
  std::string groupLink = std::string(programs) + "\\Korvex\\Korvex.lnk";  // a first setup's group
  WindowsExpected windows;
  HMODULE richEdit = LoadLibraryA("riched32.dll");
  SilentMode = true;
  EarlyCommit early;
  long start = RegistryCalls();
  early.Start();
  for (int i = 0; i < 6000 && !ValueSeen(HKEY_LOCAL_MACHINE, kUninstall, "NoRepair"); ++i) Sleep(10);
  EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kUninstall, "NoRepair"));
  EXPECT_EQ(GetFileAttributesA(groupLink.c_str()), INVALID_FILE_ATTRIBUTES) << "a link before the desktop";
  early.DesktopReady();
  EXPECT_EQ(early.Finish(), SetupStatus::Done);
  EXPECT_NE(GetFileAttributesA(groupLink.c_str()), INVALID_FILE_ATTRIBUTES);
  long commitCalls = RegistryCalls() - start;
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
  SetupOutcome outcome = {&early, ""};
  start = RegistryCalls();
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "SETUPDLG", nullptr, SetupDlgProc,
                                   reinterpret_cast<LPARAM>(&outcome));
  long dialogCalls = RegistryCalls() - start;
  SilentMode = false;
  if (richEdit != nullptr) FreeLibrary(richEdit);
  EXPECT_EQ(result, static_cast<INT_PTR>(SetupStatus::Done));
  EXPECT_STREQ(outcome.groupFolder, early.GroupFolder());
  // Showing the stored choices reads them; a second commit would cost as much as the first.
  EXPECT_LT(dialogCalls * 4, commitCalls);
}

TEST_F(Apply, RemovalTakesBackWhatIsOursOnly) {
  SetString(HKEY_CLASSES_ROOT, ".arj", "", "Other.Arj");
  IntegrationSettings all = Every(1);
  EXPECT_EQ(CommitSetup(&all, nullptr, nullptr, 0), SetupStatus::Done);
  SetString(HKEY_CLASSES_ROOT, ".cab", "", "Later.Cab");  // another program took it over since
  SetString(HKEY_LOCAL_MACHINE, kAppPath + "\\Extra", "", "someone's");
  SetString(HKEY_CURRENT_USER, "Software\\Korvex\\Options\\Deep", "Lingua", "it");
  CleanIntegration();
  DeleteUninstallEntry();
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".arj", ""), "Other.Arj");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".cab", ""), "Later.Cab");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".zip"));
  for (const char* key : {"Korvex", "Korvex.ZIP", "CLSID\\{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}"}) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
  }
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvex"));
  // A single-key deletion: on the NT family a key with a subkey stays, on 9x it goes with it.
  EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kAppPath), GetNtMajorVersion() != 0);
  RemoveTree(HKEY_LOCAL_MACHINE, kAppPath);
}
