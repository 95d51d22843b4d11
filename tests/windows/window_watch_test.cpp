// The window watch itself: a box nobody waits for is answered, photographed and reported.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "win_support.h"

namespace {

DWORD WINAPI AskSomething(void*) {
  return static_cast<DWORD>(MessageBoxA(nullptr, "Nobody waits for this", "Watch probe", MB_YESNO));
}

// Ends the probe's box ourselves when the watch did not, so this test cannot hang.
void EndProbe(HANDLE thread) {
  if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return;
  HWND box = FindWindowA("#32770", "Watch probe");
  if (box != nullptr) PostMessageA(box, WM_COMMAND, IDNO, 0);
  WaitForSingleObject(thread, 10000);
}

}  // namespace

TEST(WindowWatch, ABoxNobodyWaitsForIsAnsweredPhotographedAndReported) {
  // On a thread of its own: the watch is what is tested here, so it must not be what ends the wait.
  HANDLE thread = CreateThread(nullptr, 0, AskSomething, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  DWORD waited = WaitForSingleObject(thread, 60000);
  EndProbe(thread);
  DWORD answer = 0;
  GetExitCodeThread(thread, &answer);
  CloseHandle(thread);
  std::vector<std::string> found = TakeUnexpectedWindows();

  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the box was not answered";
  EXPECT_EQ(answer, static_cast<DWORD>(IDNO));  // the harmless answer of a Yes/No question
  ASSERT_EQ(found.size(), 1u);
  EXPECT_NE(found[0].find("caption \"Watch probe\", text \"Nobody waits for this\", this process"),
            std::string::npos)
      << found[0];
  size_t at = found[0].find("screenshot ");
  ASSERT_NE(at, std::string::npos) << found[0];
  std::string path = found[0].substr(at + 11);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  char head[2] = {};
  DWORD got = 0;
  ReadFile(file, head, sizeof head, &got, nullptr);
  DWORD size = GetFileSize(file, nullptr);
  CloseHandle(file);
  EXPECT_EQ(std::string(head, got), "BM");
  EXPECT_GT(size, 54u * 1000);  // a whole screen, not an empty picture
}
