// A window that appears while a test runs fails that test at once, unless the test expects windows:
// a box waiting for an answer would otherwise hold the whole run until its time-out. The screen is
// saved beside the binary, the window is answered (Cancel, No, OK, Yes or its first button) or
// closed, and the test's failure names both.
#include <gtest/gtest.h>
#include <stdio.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "win_support.h"

namespace {

CRITICAL_SECTION lock;
std::set<HWND> known;               // present when the test started, or already handled
std::vector<std::string> findings;  // for the running test, reported by the main thread
volatile LONG watching = 0;         // a test is running
volatile LONG expecting = 0;        // it expects windows
int shots = 0;
const DWORD kPollMs = 50;
const DWORD kPaintMs = 300;        // a box is visible a moment before it is drawn
const DWORD kOwnCloseMs = 5000;    // our own window still up after its answer: the run ends

std::string Narrow(const WCHAR* text) {
  char out[512] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr);
  out[sizeof out - 1] = '\0';
  return out;
}

// The window's own text without a message: its thread may be the one that is stuck.
std::string StoredText(HWND window) {
  WCHAR text[256] = L"";
  InternalGetWindowText(window, text, 256);
  return Narrow(text);
}

BOOL CALLBACK AddVisible(HWND window, LPARAM all) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(all)->push_back(window);
  return TRUE;
}

std::vector<HWND> VisibleTopLevel() {
  std::vector<HWND> all;
  EnumWindows(AddVisible, reinterpret_cast<LPARAM>(&all));
  return all;
}

// The whole screen as a 24-bit BMP; false when any step fails.
bool SaveScreen(const std::string& path) {
  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as the file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  DWORD size = stride * static_cast<DWORD>(height);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (memory != nullptr && bitmap != nullptr) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != FALSE;
    SelectObject(memory, old);
    GdiFlush();
  }
  if (ok) {
    BITMAPFILEHEADER file;
    ZeroMemory(&file, sizeof file);
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char*>(bits), size);
    ok = WriteFileBytes(path, bytes);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

// The command that dismisses a dialog most harmlessly, and the text of its static controls.
int AnswerOf(HWND dialog, std::string* texts) {
  int buttons[4] = {IDCANCEL, IDNO, IDOK, IDYES};
  int found = 0, first = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[32] = "";
    GetClassNameA(child, cls, sizeof cls);
    int id = GetDlgCtrlID(child);
    if (lstrcmpiA(cls, "Static") == 0) {
      std::string text = StoredText(child);
      if (!text.empty()) *texts += (texts->empty() ? "" : " | ") + text;
    } else if (lstrcmpiA(cls, "Button") == 0) {
      if (first == 0) first = id;
      for (int i = 0; i < 4; ++i) {
        if (id == buttons[i] && (found == 0 || i < found)) found = i + 1;
      }
    }
  }
  return found != 0 ? buttons[found - 1] : first;
}

void Handle(HWND window) {
  Sleep(kPaintMs);
  char cls[64] = "";
  GetClassNameA(window, cls, sizeof cls);
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(window, &pid);
  bool own = pid == GetCurrentProcessId();
  char name[64];
  snprintf(name, sizeof name, "unexpected-window-%d.bmp", ++shots);
  std::string shot = ExeFolder() + name;
  if (!SaveScreen(shot)) shot = "(none: the screen could not be read)";

  // Reported before it is answered: once answered, the box's thread (and the test waiting for it)
  // goes on, and the window with its caption may be gone.
  std::string texts, action;
  int answer = 0;
  bool dialog = lstrcmpA(cls, "#32770") == 0;
  if (dialog) {
    answer = AnswerOf(window, &texts);
    action = "answered with command " + std::to_string(answer);
  } else {
    action = "closed";
  }
  std::string text = "unexpected window: class \"" + std::string(cls) + "\", caption \"" + StoredText(window) +
                     "\"" + (texts.empty() ? "" : ", text \"" + texts + "\"") + ", " +
                     (own ? "this process" : "process " + std::to_string(pid)) + " thread " +
                     std::to_string(tid) + "; " + action + "; screenshot " + shot;
  fprintf(stderr, "%s\n", text.c_str());
  fflush(stderr);
  EnterCriticalSection(&lock);
  findings.push_back(text);
  LeaveCriticalSection(&lock);
  if (dialog) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, answer)));
  } else {
    PostMessageA(window, WM_CLOSE, 0, 0);
  }

  if (!own) return;
  for (DWORD waited = 0; waited < kOwnCloseMs; waited += kPollMs) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return;
    Sleep(kPollMs);
  }
  // Our own box would not go: ending the run now beats waiting for its time-out.
  fprintf(stderr, "unexpected window still open after %lu ms: ending the test run\n",
          static_cast<unsigned long>(kOwnCloseMs));
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
}

DWORD WINAPI Watch(void*) {
  for (;;) {
    Sleep(kPollMs);
    if (watching == 0 || expecting != 0) continue;
    for (HWND window : VisibleTopLevel()) {
      EnterCriticalSection(&lock);
      bool fresh = known.insert(window).second;
      LeaveCriticalSection(&lock);
      if (fresh && watching != 0 && expecting == 0) Handle(window);
    }
  }
}

class WindowWatch : public ::testing::EmptyTestEventListener {
  void OnTestProgramStart(const ::testing::UnitTest&) override {
    InitializeCriticalSection(&lock);
    HANDLE thread = CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
  }
  void OnTestStart(const ::testing::TestInfo&) override {
    std::vector<HWND> now = VisibleTopLevel();
    EnterCriticalSection(&lock);
    known.clear();
    known.insert(now.begin(), now.end());
    findings.clear();
    LeaveCriticalSection(&lock);
    InterlockedExchange(&watching, 1);
  }
  // Called before the result printer's (listeners end in reverse order), so the test shows failed.
  void OnTestEnd(const ::testing::TestInfo&) override {
    InterlockedExchange(&watching, 0);
    for (const std::string& text : TakeUnexpectedWindows()) ADD_FAILURE() << text;
  }
};

struct Install {
  Install() { ::testing::UnitTest::GetInstance()->listeners().Append(new WindowWatch); }
} install;

}  // namespace

WindowsExpected::WindowsExpected() { InterlockedIncrement(&expecting); }
WindowsExpected::~WindowsExpected() {
  // Whatever the test left open is no finding of the next one.
  std::vector<HWND> now = VisibleTopLevel();
  EnterCriticalSection(&lock);
  known.insert(now.begin(), now.end());
  LeaveCriticalSection(&lock);
  InterlockedDecrement(&expecting);
}

std::vector<std::string> TakeUnexpectedWindows() {
  EnterCriticalSection(&lock);
  std::vector<std::string> found;
  found.swap(findings);
  LeaveCriticalSection(&lock);
  return found;
}
