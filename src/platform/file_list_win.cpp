#include <string.h>
#include <windows.h>

#include "platform/companions.h"
#include "platform/file_list.h"
#include "platform/handles.h"
#include "platform/paths.h"

namespace {

// `text` (a list with its mark dropped) in the ANSI code page, in place: false when a character
// has no exact form there. The system's best fit (a plain "z" for an accented one) would name another file, so
// the text is converted back and must come out the same.
bool ConvertListText(char* text, unsigned long* size, ListEncoding encoding) {
  const unsigned long bytes = *size;
  if (encoding == ListEncoding::Utf8) {
    bool ascii = true;
    for (unsigned long i = 0; i < bytes && ascii; ++i) ascii = static_cast<unsigned char>(text[i]) < 0x80;
    if (ascii) return true;  // the same in every code page, and on systems that know no UTF-8
  }
  if (bytes > 0x3FFFFFFF) return false;
  int chars = static_cast<int>(encoding == ListEncoding::Utf8 ? bytes : bytes / 2);
  if (encoding != ListEncoding::Utf8 && bytes % 2 != 0) return false;
  if (chars == 0) return true;
  WCHAR* wide = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, 2 * static_cast<SIZE_T>(chars)));
  WCHAR* back = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, 2 * static_cast<SIZE_T>(chars)));
  HeapBlock wideOwner(wide), backOwner(back);
  if (wide == nullptr || back == nullptr) return false;
  if (encoding == ListEncoding::Utf8) {
    chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, chars, wide, chars);
    if (chars <= 0) return false;
  } else {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    bool little = encoding == ListEncoding::Utf16Le;
    for (int i = 0; i < chars; ++i) {
      wide[i] = static_cast<WCHAR>(little ? in[2 * i] | in[2 * i + 1] << 8 : in[2 * i] << 8 | in[2 * i + 1]);
    }
  }
  // The ANSI text is never longer than the bytes it came from, so it fits in place.
  BOOL defaulted = FALSE;
  int ansi = WideCharToMultiByte(CP_ACP, 0, wide, chars, text, static_cast<int>(bytes), nullptr, &defaulted);
  if (ansi <= 0 || defaulted || MultiByteToWideChar(CP_ACP, 0, text, ansi, back, chars) != chars ||
      memcmp(wide, back, 2 * static_cast<size_t>(chars)) != 0) {
    return false;
  }
  *size = static_cast<unsigned long>(ansi);
  return true;
}

}  // namespace

char* ReadFileList(const char* folder, char* listPath, size_t pathSize, unsigned long* size) {
  if (!JoinPath(listPath, pathSize, folder, KVX_FILE_LIST)) return nullptr;
  KernelHandle file(CreateFileA(listPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
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
  unsigned long mark = 0;
  ListEncoding encoding = ListTextEncoding(text, length, &mark);
  unsigned long rest = length - mark;
  memmove(text, text + mark, rest);
  if (encoding != ListEncoding::Ansi && !ConvertListText(text, &rest, encoding)) {
    HeapFree(GetProcessHeap(), 0, text);
    return nullptr;
  }
  text[rest] = '\0';
  *size = rest;
  return text;
}
