// Helpers for the Windows-side tests: files beside the test binary and a clean language state.
#pragma once
#include <windows.h>

#include <string>

std::string ExeFolder();  // with a trailing "\"
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// Puts a test language library beside the binary as "kvxlng.dll" (empty name: none) and writes
// "uninstall.lng" there (empty text: no file), then starts up the language state as WinMain does.
void StartLanguage(const char* library, const std::string& languageFile);
void StopLanguage();  // unloads and removes both files

std::string LanguageFileWith(const std::string& lines);
std::string Entry(char domain, const char* context, const std::string& text, const std::string& value);
