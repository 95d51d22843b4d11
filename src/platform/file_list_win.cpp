#include <windows.h>

#include "platform/companions.h"
#include "platform/file_list.h"
#include "platform/handles.h"
#include "platform/paths.h"

char* ReadFileList(const char* folder, char* listPath, size_t pathSize, unsigned long* size) {
  if (!JoinPath(listPath, pathSize, folder, KVX_FILE_LIST)) return nullptr;
  FileHandle file(CreateFileA(listPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) return nullptr;
  DWORD length = GetFileSize(file.Get(), nullptr);
  if (length == INVALID_FILE_SIZE) return nullptr;
  char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
  DWORD got = 0;
  if (text == nullptr) return nullptr;
  if (!ReadFile(file.Get(), text, length, &got, nullptr) || got != length) {
    HeapFree(GetProcessHeap(), 0, text);
    return nullptr;
  }
  text[length] = '\0';
  *size = length;
  return text;
}
