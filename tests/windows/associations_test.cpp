#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "engine_support.h"
#include "platform/process.h"
#include "registry_support.h"
#include "setup/associations.h"
#include "win_support.h"

namespace {

const std::string kKvxBytes("Kvx!\x1a\x07\x00\xcf\x90\x73\x00\x00\x0d\x00\x00\x00\x00\x00\x00\x00", 20);
const std::string kZipBytes = std::string("PK\x05\x06", 4) + std::string(18, '\0');

bool NineX() { return GetNtMajorVersion() == 0; }

IntegrationSettings Choices(std::initializer_list<int> types, bool shellExt) {
  IntegrationSettings s;
  memset(&s, 0, sizeof s);
  for (int t : types) s.types[t] = 1;
  s.ShellExt = shellExt ? 1 : 0;
  return s;
}

IntegrationSettings NoneChosen() { return Choices({}, false); }

std::string FileBytes(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[256];
  DWORD got = 0;
  ReadFile(f, buffer, sizeof buffer, &got, nullptr);
  CloseHandle(f);
  return std::string(buffer, got);
}

// The program's path as the system reports one that does not fit: the whole buffer, cut. The NT
// family's wide form is looked up at run time, so it comes through GetProcAddress.
DWORD WINAPI CutModuleFileName(HMODULE, LPSTR path, DWORD size) {
  if (size == 0) return 0;
  memset(path, 'k', size - 1);
  path[size - 1] = '\0';
  return size;
}

DWORD WINAPI CutModuleFileNameW(HMODULE, wchar_t* path, DWORD size) {
  for (DWORD i = 0; i + 1 < size; ++i) path[i] = L'k';
  if (size > 0) path[size - 1] = L'\0';
  return size;
}

typedef FARPROC(WINAPI* GetProcAddressFunction)(HMODULE, LPCSTR);
GetProcAddressFunction realGetProcAddress = GetProcAddress;

FARPROC WINAPI GetProcAddressWithCutModuleFileName(HMODULE module, LPCSTR name) {
  if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && strcmp(name, "GetModuleFileNameW") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(CutModuleFileNameW));
  }
  return realGetProcAddress(module, name);
}

class Associations : public ::testing::Test {
 protected:
  void SetUp() override { ResetIntegrationState(); }
  void TearDown() override { ResetIntegrationState(); }
};

}  // namespace

TEST_F(Associations, AbsentExtensionIsRecordedAsNewAndDeletedOnRelease) {
  IntegrationSettings gzip = Choices({7}, false);
  ApplyAssociations(&gzip);
  for (const char* ext : {".gz", ".tgz"}) {
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ext, ""), "Korvex");
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ext, "Content Type"), "application/x-compressed");
    EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, OwnSetupKey(ext), "Exist"), 0u);
    EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(ext), "Type"), "");
    EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(ext), "Content"), "");
    EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(ext), "ShellNew"), "");
  }
  SetString(HKEY_CLASSES_ROOT, ".tgz\\ShellNew", "NullFile", "");
  IntegrationSettings none = NoneChosen();
  ApplyAssociations(&none);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tgz\\ShellNew"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tgz"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".gz"));
  // The previous-owner values stay for the removal to delete with the own key.
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, OwnSetupKey(".tgz"), "Exist"), 0u);
}

// A setup stopped between making the extension's key and writing its default value leaves an empty
// key: the rerun keeps the owner the first run recorded, and the release deletes the key again.
TEST_F(Associations, ASetupStoppedBeforeTheDefaultValueKeepsTheFirstRecord) {
  IntegrationSettings gzip = Choices({7}, false);
  ApplyAssociations(&gzip);
  RemoveTree(HKEY_CLASSES_ROOT, ".gz");
  HKEY empty = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, ".gz", 0, nullptr, 0, KEY_WRITE, nullptr, &empty, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(empty);
  ApplyAssociations(&gzip);
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, OwnSetupKey(".gz"), "Exist"), 0u);
  IntegrationSettings none = NoneChosen();
  ApplyAssociations(&none);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".gz"));
}

TEST_F(Associations, ForeignOwnerWithNullFileIsRecordedAndGivenBack) {
  SetString(HKEY_CLASSES_ROOT, ".zip", "", "Other.Zip");
  SetString(HKEY_CLASSES_ROOT, ".zip", "Content Type", "application/zip");
  SetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "NullFile", "");
  IntegrationSettings zip = Choices({1}, false);
  ApplyAssociations(&zip);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip", ""), "Korvex.ZIP");
  EXPECT_EQ(ValueDword(HKEY_CURRENT_USER, OwnSetupKey(".zip"), "Exist"), 1u);
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".zip"), "Type"), "Other.Zip");
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".zip"), "Content"), "application/zip");
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".zip"), "ShellNew"), "*");
  // A second setup records nothing new.
  SetString(HKEY_CLASSES_ROOT, ".zip", "Content Type", "changed/by-us");
  ApplyAssociations(&zip);
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".zip"), "Type"), "Other.Zip");
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".zip"), "Content"), "application/zip");
  IntegrationSettings none = NoneChosen();
  SetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName", "C:\\ours.dat");
  ApplyAssociations(&none);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip", ""), "Other.Zip");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip", "Content Type"), "application/zip");
  EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName"));
  EXPECT_EQ(ValueType(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "NullFile"), static_cast<DWORD>(REG_SZ));
}

TEST_F(Associations, ForeignShellNewFileNameAndOurOwnNamesAsFormerOwner) {
  SetString(HKEY_CLASSES_ROOT, ".cab", "", "korvex");  // ours in another case: already owned
  SetString(HKEY_CLASSES_ROOT, ".arj", "", "Other.Arj");
  SetString(HKEY_CLASSES_ROOT, ".arj\\ShellNew", "FileName", "C:\\t\\arj.dat");
  IntegrationSettings types = Choices({2, 3}, false);
  ApplyAssociations(&types);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OwnSetupKey(".cab")));  // nothing recorded for ours
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".arj"), "ShellNew"), "C:\\t\\arj.dat");
  // A recorded owner that is the archiver itself is never given back.
  SetString(HKEY_CURRENT_USER, OwnSetupKey(".cab"), "Type", "KORVEX.zip");
  IntegrationSettings none = NoneChosen();
  ApplyAssociations(&none);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ".cab"));  // Exist missing counts as 1
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".cab", ""), "");
  EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, ".cab", "Content Type"));
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".arj", ""), "Other.Arj");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".arj\\ShellNew", "FileName"), "C:\\t\\arj.dat");
}

TEST_F(Associations, OnlyWhatIsOursIsReleased) {
  SetString(HKEY_CLASSES_ROOT, ".ace", "", "Other.Ace");
  SetString(HKEY_CLASSES_ROOT, ".ace", "Content Type", "x/ace");
  SetString(HKEY_CLASSES_ROOT, ".k05", "", "Other.Volume");
  IntegrationSettings none = NoneChosen();
  RegSnapshot before = SnapshotKey(HKEY_CLASSES_ROOT, ".ace");
  ApplyAssociations(&none);
  EXPECT_EQ(SnapshotKey(HKEY_CLASSES_ROOT, ".ace"), before);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".k05", ""), "Other.Volume");  // .kvx not ours: volumes untouched
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Korvex"));
}

TEST_F(Associations, VolumeExtensionsFollowTheFamilyAndTheRecordedOwner) {
  SetString(HKEY_CLASSES_ROOT, ".kvx", "", "Old.Kvx");
  IntegrationSettings kvx = Choices({0}, false);
  ApplyAssociations(&kvx);
  int written = NineX() ? 100 : 30;
  for (int i = 0; i < 100; ++i) {
    std::string v = VolumeName(i);
    if (i < written) {
      EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, v, ""), "Korvex") << v;
      EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, v, "Content Type"), "application/x-kvx-compressed") << v;
    } else {
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, v)) << v;
    }
  }
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".kvx", "Content Type"), "application/x-kvx-compressed");
  IntegrationSettings none = NoneChosen();
  ApplyAssociations(&none);
  // The volumes written get the former owner, none is made; with no recorded Content the volumes keep
  // ours, .kvx loses it.
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, VolumeName(i), ""), i < written ? "Old.Kvx" : "<missing>") << i;
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, VolumeName(i), "Content Type"), i < written ? "application/x-kvx-compressed" : "<missing>") << i;
  }
  EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, ".kvx", "Content Type"));

  ResetIntegrationState();
  ApplyAssociations(&kvx);  // no former owner: the release deletes all 100
  ApplyAssociations(&none);
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, VolumeName(i))) << i;
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".kvx"));
}

TEST_F(Associations, AReleaseStoppedAmongTheVolumesIsFinishedByTheNext) {
  SetString(HKEY_CLASSES_ROOT, ".kvx", "", "Old.Kvx");
  SetString(HKEY_CLASSES_ROOT, ".k31", "", "Other.Volume");
  IntegrationSettings kvx = Choices({0}, false);
  ApplyAssociations(&kvx);
  // Stopped half-way: .kvx and the first volumes given back, the rest still ours.
  for (const char* given : {".kvx", ".k00", ".k01", ".k02"}) SetString(HKEY_CLASSES_ROOT, given, "", "Old.Kvx");
  IntegrationSettings none = NoneChosen();
  ApplyAssociations(&none);
  int written = NineX() ? 100 : 30;
  for (int i = 0; i < written; ++i) EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, VolumeName(i), ""), "Old.Kvx") << i;
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".k31", ""), NineX() ? "Old.Kvx" : "Other.Volume");
  // Without a take-over on record, volumes that read Korvex are not touched while .kvx is not ours.
  ResetIntegrationState();
  SetString(HKEY_CLASSES_ROOT, ".kvx", "", "Old.Kvx");
  SetString(HKEY_CLASSES_ROOT, ".k07", "", "Korvex");
  ApplyAssociations(&none);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".k07", ""), "Korvex");
}

TEST_F(Associations, NewArchiveTemplatesFollowTheSystemVersion) {
  std::string folder = ExeFolder();
  SetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Command", "foreign.exe");
  IntegrationSettings both = Choices({0, 1}, true);
  ApplyAssociations(&both);
  EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Command"));  // the key is rewritten whole
  if (IsNewerSystem()) {
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".kvx\\ShellNew", "FileName"), folder + "kvxnew.dat");
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName"), folder + "zipnew.dat");
    EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, ".kvx\\ShellNew", "Data"));
    EXPECT_EQ(FileBytes(folder + "kvxnew.dat"), kKvxBytes);
    EXPECT_EQ(FileBytes(folder + "zipnew.dat"), kZipBytes);
    // An existing template is never rewritten.
    ASSERT_TRUE(WriteFileBytes(folder + "kvxnew.dat", "user's own"));
    ApplyAssociations(&both);
    EXPECT_EQ(FileBytes(folder + "kvxnew.dat"), "user's own");
  } else {
    EXPECT_EQ(ValueType(HKEY_CLASSES_ROOT, ".kvx\\ShellNew", "Data"), static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".kvx\\ShellNew", "Data"), kKvxBytes);
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data"), kZipBytes);
    EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, ".kvx\\ShellNew", "FileName"));
    EXPECT_EQ(FileBytes(folder + "kvxnew.dat"), "<missing>");
  }
  // The version test itself: 4.0 and 4.10 are older, 4.90 and 5+ newer.
  const char* version = getenv("KVX_EXPECT_VERSION");
  if (version != nullptr) {
    bool newer = strcmp(version, "winme") == 0 || strcmp(version, "win7") == 0;
    EXPECT_EQ(IsNewerSystem(), newer) << version;
  }
}

TEST_F(Associations, ReleaseTakesOurTemplateBackButNoOneElses) {
  SetString(HKEY_CLASSES_ROOT, ".zip", "", "Other.Zip");
  SetString(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName", "C:\\Modelli\\vuoto.zip");
  IntegrationSettings zip = Choices({1}, true);
  IntegrationSettings none = NoneChosen();
  ApplyAssociations(&zip);
  ApplyAssociations(&none);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "FileName"), "C:\\Modelli\\vuoto.zip");
  EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data"));
  // Without the shell integration the owner's own template bytes were never replaced: they stay.
  SetRaw(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data", REG_BINARY, "owner's bytes");
  IntegrationSettings plain = Choices({1}, false);
  ApplyAssociations(&plain);
  ApplyAssociations(&none);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data"), "owner's bytes");
}

TEST_F(Associations, AnotherProgramsEmptyZipRecordSurvivesOnNewerSystems) {
  // The standard empty-ZIP record is also another ZIP program's natural inline template.
  SetString(HKEY_CLASSES_ROOT, ".zip", "", "Other.Zip");
  SetRaw(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data", REG_BINARY, kZipBytes);
  IntegrationSettings plain = Choices({1}, false);
  IntegrationSettings none = NoneChosen();
  ApplyAssociations(&plain);
  ApplyAssociations(&none);
  // Only the older systems, on which we write our template as bytes, take identical bytes back.
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip\\ShellNew", "Data"), IsNewerSystem() ? kZipBytes : "<missing>");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".zip", ""), "Other.Zip");
}

TEST_F(Associations, WithoutShellIntegrationShellNewIsLeftAlone) {
  SetString(HKEY_CLASSES_ROOT, ".kvx\\ShellNew", "FileName", "C:\\someone.dat");
  IntegrationSettings kvx = Choices({0}, false);
  ApplyAssociations(&kvx);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".kvx\\ShellNew", "FileName"), "C:\\someone.dat");
  EXPECT_EQ(FileBytes(ExeFolder() + "kvxnew.dat"), "<missing>");
}

TEST_F(Associations, OverlongForeignValuesCountAsAbsent) {
  std::string longType(600, 't');
  SetString(HKEY_CLASSES_ROOT, ".tar", "", longType);
  SetRaw(HKEY_CLASSES_ROOT, ".tar", "Content Type", REG_DWORD, std::string("\x01\0\0\0", 4));
  SetString(HKEY_CLASSES_ROOT, ".tar\\ShellNew", "FileName", std::string(1500, 'f'));
  SetString(HKEY_CLASSES_ROOT, ".tar\\ShellNew", "NullFile", "0123456789abc");  // with text: still a NullFile
  IntegrationSettings tar = Choices({6}, false);
  ApplyAssociations(&tar);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, ".tar", ""), "Korvex");
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".tar"), "Type"), "");
  // The former FileName did not fit and counts as absent; the NullFile beside it is recorded.
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".tar"), "ShellNew"), "*");
  // A foreign value of another type that fits is taken as it is.
  EXPECT_EQ(ValueText(HKEY_CURRENT_USER, OwnSetupKey(".tar"), "Content"), "\x01");
}

TEST_F(Associations, ProgIdsAndTheirTexts) {
  RegisterProgIds();
  std::string archiver = ExeFolder() + "Korvex.exe";
  for (const char* progId : {"Korvex", "Korvex.ZIP"}) {
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, std::string(progId) + "\\shell\\open\\command", ""),
              "\"" + archiver + "\" \"%1\"");
    EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, std::string(progId) + "\\DefaultIcon", ""), archiver + ",0");
  }
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "Korvex", ""), "Archivio Korvex");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "Korvex.ZIP", ""), "Archivio Korvex ZIP");
  SetString(HKEY_CLASSES_ROOT, ".jar", "", "KORVEX");
  EXPECT_TRUE(IsOwnAssociation(".jar"));
  SetString(HKEY_CLASSES_ROOT, ".jar", "", "Korvex.ZIPX");
  EXPECT_FALSE(IsOwnAssociation(".jar"));
  EXPECT_FALSE(IsOwnAssociation(".nothing-here"));
}

TEST_F(Associations, WithoutTheArchiversPathTheProgIdsGetNoCommandOrIcon) {
  {
    ImportSwap swap("kernel32.dll", "GetModuleFileNameA", reinterpret_cast<void*>(CutModuleFileName));
    ImportSwap wide("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(GetProcAddressWithCutModuleFileName));
    ASSERT_TRUE(swap.Active());
    ASSERT_TRUE(wide.Active());
    RegisterProgIds();
  }
  for (const char* progId : {"Korvex", "Korvex.ZIP"}) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(progId) + "\\shell")) << progId;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(progId) + "\\DefaultIcon")) << progId;
  }
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "Korvex", ""), "Archivio Korvex");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "Korvex.ZIP", ""), "Archivio Korvex ZIP");
}
