// What the two dialogs do when clicked: the real templates with the program's own dialog
// procedures, driven in process.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/globals.h"
#include "resources/resource.h"
#include "setup/setup_dialog.h"
#include "shell/done_dialog.h"
#include "shell/setup_flow.h"
#include "win_support.h"

namespace {

HWND OpenDialog(const char* name, DLGPROC procedure) {
  HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), name, nullptr, procedure, 0);
  if (dialog != nullptr) ShowWindow(dialog, SW_SHOW);
  return dialog;
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// The button of `dialog` labelled `text`, whatever its id.
HWND ButtonLabelled(HWND dialog, const char* text) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char label[256] = "";
    GetWindowTextA(child, label, sizeof label);
    if (strcmp(label, text) == 0) return child;
  }
  return nullptr;
}

std::vector<std::string> opened;

HINSTANCE WINAPI RecordShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT) {
  opened.push_back(std::string(verb != nullptr ? verb : "(null)") + " " + (file != nullptr ? file : "(null)"));
  return reinterpret_cast<HINSTANCE>(33);  // success, and nothing started
}

BOOL WINAPI RecordWinHelp(HWND, LPCSTR file, UINT, ULONG_PTR) {
  opened.push_back(std::string("help ") + (file != nullptr ? file : "(null)"));
  return TRUE;
}

// Records which templates the setup flow shows, from which module, and answers for them.
std::vector<std::pair<HINSTANCE, std::string>> shownFrom;
INT_PTR setupAnswer = 0;
INT_PTR WINAPI RecordDialog(HINSTANCE module, LPCSTR name, HWND, DLGPROC, LPARAM) {
  shownFrom.emplace_back(module, name);
  return strcmp(name, "SETUPDLG") == 0 ? setupAnswer : 1;
}
std::vector<std::string> shownNames() {
  std::vector<std::string> names;
  for (const auto& shown : shownFrom) names.push_back(shown.second);
  return names;
}

// Cancels the setup dialog as soon as it is up, the way its close box does.
INT_PTR CALLBACK SetupClosedAtOnce(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR result = SetupDlgProc(dialog, message, wParam, lParam);
  if (message == WM_INITDIALOG) PostMessageA(dialog, WM_CLOSE, 0, 0);
  return result;
}

class DialogActions : public ::testing::Test {
 protected:
  WindowsExpected windows_;
  static void SetUpTestSuite() { richEdit_ = LoadLibraryA("riched32.dll"); }
  static void TearDownTestSuite() {
    if (richEdit_ != nullptr) FreeLibrary(richEdit_);
  }
  static HMODULE richEdit_;
};
HMODULE DialogActions::richEdit_ = nullptr;

}  // namespace

TEST_F(DialogActions, ContextMenuChoicesFollowTheShellIntegrationBox) {
  HWND dialog = OpenDialog("SETUPDLG", SetupDlgProc);
  ASSERT_NE(dialog, nullptr);
  // Whatever the stored choices were, two clicks pass through both states.
  for (int click = 0; click < 2; ++click) {
    Click(dialog, IDC_SHELL_EXT);
    bool on = IsDlgButtonChecked(dialog, IDC_SHELL_EXT) == BST_CHECKED;
    EXPECT_EQ(Enabled(dialog, IDC_CASCADED_MENU), on) << "shell integration " << on;
    EXPECT_EQ(Enabled(dialog, IDC_MENU_ICONS), on) << "shell integration " << on;
  }
  DestroyWindow(dialog);
}

TEST_F(DialogActions, LicenceAndPriceListAndHelpComeFromTheProgramsFolder) {
  // Not from the current folder: "Change" in the list of programs starts the setup in the system's.
  char before[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof before, before);
  std::string elsewhere = ExeFolder() + "elsewhere";
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.c_str()));
  opened.clear();
  {
    ImportSwap shell("shell32.dll", "ShellExecuteA", reinterpret_cast<void*>(RecordShellExecute));
    ImportSwap help("user32.dll", "WinHelpA", reinterpret_cast<void*>(RecordWinHelp));
    ASSERT_TRUE(shell.Active());
    ASSERT_TRUE(help.Active());
    HWND dialog = OpenDialog("DONEDLG", DoneDlgProc);
    ASSERT_NE(dialog, nullptr);
    for (const char* label : {"Leggi la &licenza", "Listino &prezzi", "Leggi la &guida"}) {
      HWND button = ButtonLabelled(dialog, label);
      ASSERT_NE(button, nullptr) << label;
      SendMessageA(button, BM_CLICK, 0, 0);
    }
    DestroyWindow(dialog);
  }
  SetCurrentDirectoryA(before);
  RemoveDirectoryA(elsewhere.c_str());
  std::string folder = ExeFolder();
  std::vector<std::string> expected = {"open " + folder + "licenza.txt", "open " + folder + "ordin.lnk",
                                       "help " + folder + "korvex.hlp"};
  EXPECT_EQ(opened, expected);
}

// The setup flow shows the completion dialog only for a result of 1 or more, so a cancelled
// setup must end with 0.
TEST_F(DialogActions, ClosedSetupEndsWithZero) {
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "SETUPDLG", nullptr, SetupClosedAtOnce, 0);
  EXPECT_EQ(result, 0);
}

TEST_F(DialogActions, SetupFlowShowsTheCompletionDialogOnlyAfterAConfirmedSetup) {
  ImportSwap swap("user32.dll", "DialogBoxParamA", reinterpret_cast<void*>(RecordDialog));
  ASSERT_TRUE(swap.Active());
  for (SetupStatus answer : {SetupStatus::Cancelled, SetupStatus::NotShown, SetupStatus::Done, SetupStatus::Failed}) {
    shownFrom.clear();
    setupAnswer = static_cast<INT_PTR>(answer);
    EXPECT_EQ(RunSetupFlow(nullptr), answer);
    std::vector<std::string> expected = {"SETUPDLG"};
    if (answer == SetupStatus::Done) expected.push_back("DONEDLG");
    EXPECT_EQ(shownNames(), expected) << "setup dialog ended with " << static_cast<INT_PTR>(answer);
  }
  // A language library without the templates does not skip them: the program's own are shown.
  StartLanguage("kvxlng_partial.dll", "");
  shownFrom.clear();
  setupAnswer = 1;
  RunSetupFlow(nullptr);
  ASSERT_EQ(shownFrom.size(), 2u);
  EXPECT_EQ(shownFrom[0].first, GetModuleHandleA(nullptr));
  EXPECT_EQ(shownFrom[1].first, GetModuleHandleA(nullptr));
  StartLanguage("kvxlng_english.dll", "");
  shownFrom.clear();
  RunSetupFlow(nullptr);
  ASSERT_EQ(shownFrom.size(), 2u);
  EXPECT_EQ(shownFrom[0].first, CurrentResourceModule());
  EXPECT_NE(shownFrom[0].first, GetModuleHandleA(nullptr));
  StopLanguage();
}

TEST_F(DialogActions, ABoxTheTemplateLacksKeepsItsStoredChoice) {
  // Another language's template without the KVX box and the shell-integration box.
  IntegrationSettings stored;
  LoadIntegrationSettings(&stored);
  stored.types[0] = 1;
  stored.ShellExt = 1;
  stored.types[1] = 1;
  HWND dialog = OpenDialog("SETUPDLG", SetupDlgProc);
  ASSERT_NE(dialog, nullptr);
  DestroyWindow(GetDlgItem(dialog, IDC_TYPE_KVX));
  DestroyWindow(GetDlgItem(dialog, IDC_SHELL_EXT));
  CheckDlgButton(dialog, IDC_TYPE_ZIP, BST_UNCHECKED);
  GetDialogSettings(dialog, &stored);
  EXPECT_EQ(stored.types[0], 1);
  EXPECT_EQ(stored.ShellExt, 1);
  EXPECT_EQ(stored.types[1], 0);  // a box that is there is read
  DestroyWindow(dialog);
}
