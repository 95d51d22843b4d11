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

ImportSwap::ImportSwap(const char* dll, const char* function, void* replacement) {
  void* original = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), function));
  BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const IMAGE_NT_HEADERS* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (original == nullptr || imports.VirtualAddress == 0) return;
  for (const IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       d->Name != 0 && slot_ == nullptr; ++d) {
    for (void** s = reinterpret_cast<void**>(base + d->FirstThunk); *s != nullptr; ++s) {
      if (*s == original) {
        slot_ = s;
        break;
      }
    }
  }
  if (slot_ != nullptr && Write(replacement)) original_ = original;
}

ImportSwap::~ImportSwap() {
  if (original_ != nullptr) Write(original_);
}

bool ImportSwap::Write(void* value) {
  DWORD protection = 0;
  if (!VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection)) return false;
  *slot_ = value;
  VirtualProtect(slot_, sizeof *slot_, protection, &protection);
  return true;
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
