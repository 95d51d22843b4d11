#include "win_support.h"

#include "lang/language.h"
#include "lang/messages.h"
#include "language_file_builder.h"
#include "platform/globals.h"

std::string ExeFolder() {
  char path[1024];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, n);
  return folder.substr(0, folder.rfind('\\') + 1);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

void StartLanguage(const char* library, const std::string& languageFile) {
  StopLanguage();
  std::string folder = ExeFolder();
  if (library != nullptr && library[0] != '\0') {
    CopyFileA((folder + library).c_str(), (folder + "kvxlng.dll").c_str(), FALSE);
  }
  if (!languageFile.empty()) WriteFileBytes(folder + "uninstall.lng", languageFile);
  LoadLanguageLibrary(GetModuleHandleA(nullptr));
  LoadLanguageFile("uninstall.lng");
}

void StopLanguage() {
  UnloadLanguageLibrary();
  std::string folder = ExeFolder();
  DeleteFileA((folder + "kvxlng.dll").c_str());
  DeleteFileA((folder + "uninstall.lng").c_str());
  LoadLanguageFile("uninstall.lng");  // no file now: empties the table
}

std::string LanguageFileWith(const std::string& lines) { return "; test\r\n***messages***\r\n" + lines; }

std::string Entry(char domain, const char* context, const std::string& text, const std::string& value) {
  return EntryLine(static_cast<TextDomain>(domain), context, text, value) + "\r\n";
}
