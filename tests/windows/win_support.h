// Helpers for the Windows-side tests: files beside the test binary and a clean language state.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "import_swap.h"

std::string ExeFolder();  // with a trailing "\"
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Puts a test language library beside the binary as "kvxlng.dll" (empty name: none) and writes
// "uninstall.lng" there (empty text: no file), then starts up the language state as WinMain does.
void StartLanguage(const char* library, const std::string& languageFile);
void StopLanguage();  // unloads and removes both files

std::string LanguageFileWith(const std::string& lines);
std::string Entry(char domain, const char* context, const std::string& text, const std::string& value);

// While one lives, new windows are expected: the tests of the dialogs make them on purpose. Anywhere
// else a window that comes up fails the running test at once (window_watch.cpp): it is photographed
// beside the binary, answered or closed, and named in the failure.
class WindowsExpected {
 public:
  WindowsExpected();
  ~WindowsExpected();
  WindowsExpected(const WindowsExpected&) = delete;
  WindowsExpected& operator=(const WindowsExpected&) = delete;
};

// What the window watch found in the running test so far; taking it keeps the test from failing.
std::vector<std::string> TakeUnexpectedWindows();
