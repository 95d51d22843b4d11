#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "engine_support.h"
#include "registry_support.h"
#include "setup/shell_extension.h"
#include "win_support.h"

namespace {

const std::string kClsid = "{6F2A0C31-5D17-11D2-A4E8-3C90B2E15D07}";
const std::string kApproved = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char* const kCommon[] = {"*\\shellex\\ContextMenuHandlers\\Korvex",       "Folder\\shellex\\ContextMenuHandlers\\Korvex",
                               "Folder\\shellex\\DragDropHandlers\\Korvex",     "Drive\\shellex\\DragDropHandlers\\Korvex",
                               "Directory\\shellex\\ContextMenuHandlers\\Korvex", "Directory\\shellex\\DragDropHandlers\\Korvex"};

IntegrationSettings WithShellExt(bool on) {
  IntegrationSettings s;
  memset(&s, 1, sizeof s);  // every other flag set: only ShellExt may count
  s.ShellExt = on ? 1 : 0;
  return s;
}

// The entries written, counted as (key, value) pairs.
int CountEntries() {
  int n = 0;
  n += ValueExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid, "");
  n += ValueExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid + "\\InProcServer32", "");
  n += ValueExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid + "\\InProcServer32", "ThreadingModel");
  for (const char* prog : {"Korvex", "Korvex.ZIP"}) {
    for (const char* kind : {"ContextMenuHandlers", "PropertySheetHandlers"}) {
      n += ValueText(HKEY_CLASSES_ROOT, std::string(prog) + "\\shellex\\" + kind + "\\" + kClsid, "") == "";
    }
    n += ValueText(HKEY_CLASSES_ROOT, std::string(prog) + "\\shellex\\DropHandler", "") == kClsid;
  }
  n += ValueText(HKEY_CLASSES_ROOT, "exefile\\shellex\\PropertySheetHandlers\\" + kClsid, "") == "";
  for (const char* key : kCommon) n += ValueText(HKEY_CLASSES_ROOT, key, "") == kClsid;
  n += ValueText(HKEY_LOCAL_MACHINE, kApproved, kClsid) == "Korvex shell extension";
  return n;
}

class ShellExtension : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetIntegrationState();
    SetString(HKEY_LOCAL_MACHINE, kApproved, "{00000000-0000-0000-0000-00000000C0DE}", "Someone else");
  }
  void TearDown() override { ResetIntegrationState(); }
};

}  // namespace

TEST_F(ShellExtension, SeventeenEntriesWithTheLibraryFourteenWithout) {
  IntegrationSettings on = WithShellExt(true);
  ApplyShellExtension(&on);
  EXPECT_EQ(CountEntries(), 14);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid));
  ASSERT_TRUE(WriteFileBytes(ExeFolder() + "kvxext.dll", "stand-in"));
  ApplyShellExtension(&on);
  EXPECT_EQ(CountEntries(), 17);
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid + "\\InProcServer32", ""), ExeFolder() + "kvxext.dll");
  EXPECT_EQ(ValueText(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid + "\\InProcServer32", "ThreadingModel"), "Apartment");
  RegSnapshot once = SnapshotKey(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid);
  ApplyShellExtension(&on);
  EXPECT_EQ(SnapshotKey(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid), once);
  EXPECT_EQ(CountEntries(), 17);
}

TEST_F(ShellExtension, RemovalLeavesTheCommonHandlerKeysEmptyAndOthersValues) {
  ASSERT_TRUE(WriteFileBytes(ExeFolder() + "kvxext.dll", "stand-in"));
  IntegrationSettings on = WithShellExt(true), off = WithShellExt(false);
  ApplyShellExtension(&on);
  ApplyShellExtension(&off);
  EXPECT_EQ(CountEntries(), 0);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + kClsid));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Korvex\\shellex\\DropHandler"));
  for (const char* key : kCommon) {
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
    EXPECT_FALSE(ValueExists(HKEY_CLASSES_ROOT, key, "")) << key;
  }
  EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kApproved, kClsid));
  EXPECT_EQ(ValueText(HKEY_LOCAL_MACHINE, kApproved, "{00000000-0000-0000-0000-00000000C0DE}"), "Someone else");
  RegSnapshot once = SnapshotKey(HKEY_CLASSES_ROOT, "Folder\\shellex");
  ApplyShellExtension(&off);
  EXPECT_EQ(SnapshotKey(HKEY_CLASSES_ROOT, "Folder\\shellex"), once);
}
