#include "platform/deletion.h"

#include <string.h>
#include <windows.h>

#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

typedef DWORD(WINAPI* FinalPathFunction)(HANDLE, char*, DWORD, DWORD);
typedef LONG(WINAPI* SetInformationFunction)(HANDLE, void*, void*, ULONG, int);
const int kFileDispositionInformation = 13;  // FILE_INFORMATION_CLASS

struct IoStatus {
  LONG status;
  ULONG_PTR information;
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A final link is opened itself, not followed; folders open too.
const DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// Both looked up at run time: the first came with Windows Vista, the second is the NT family's own.
FinalPathFunction FinalPathOfHandle() {
  return reinterpret_cast<FinalPathFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
}

bool HandlePath(FinalPathFunction finalPath, HANDLE handle, char* out, size_t size) {
  DWORD n = finalPath(handle, out, static_cast<DWORD>(size), 0);
  if (n == 0 || n >= size) return false;
  if (strncmp(out, "\\\\?\\UNC\\", 8) == 0) {
    memmove(out + 2, out + 8, n - 8 + 1);
  } else if (strncmp(out, "\\\\?\\", 4) == 0) {
    memmove(out, out + 4, n - 4 + 1);
  }
  return true;
}

// A folder's contents, then the folder, each entry by its own kind; `path` has kPathSize bytes and
// comes back unchanged. Depth is bounded by the path's size.
bool DeleteTree(char* path, const char* openedFolder) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return DeleteLinkItself(path);
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return LeadsInside(path, openedFolder) && DeleteFileA(path);
  char pattern[kPathSize];
  if (!JoinPath(pattern, sizeof pattern, path, "*")) return false;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    size_t length = strlen(path);
    do {
      const char* name = found.cFileName;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      if (JoinPath(path, kPathSize, path, name)) DeleteTree(path, openedFolder);
      path[length] = '\0';
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryA(path) != FALSE;
}

}  // namespace

bool IsLinkOrMissing(unsigned long attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

bool GetOpenedPath(const char* path, char* out, size_t size) {
  FinalPathFunction finalPath = FinalPathOfHandle();
  if (finalPath == nullptr) return false;
  KernelHandle file(CreateFileA(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  return file.IsValid() && HandlePath(finalPath, file.Get(), out, size);
}

bool IsSameOrInside(const char* path, const char* folder) {
  int n = static_cast<int>(strlen(folder));
  while (n > 0 && folder[n - 1] == '\\') --n;
  if (static_cast<int>(strlen(path)) < n ||
      CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path, n, folder, n) != CSTR_EQUAL) {
    return false;
  }
  return path[n] == '\0' || path[n] == '\\';
}

bool LeadsInside(const char* path, const char* openedFolder) {
  char opened[kPathSize];
  return openedFolder[0] == '\0' || !GetOpenedPath(path, opened, sizeof opened) || IsSameOrInside(opened, openedFolder);
}

bool DeleteLinkItself(const char* path) {
  // Links came with NT 5; the 9x family has none.
  if (GetNtMajorVersion() < 5) return false;
  SetInformationFunction setInformation = reinterpret_cast<SetInformationFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
  if (setInformation == nullptr) return false;
  KernelHandle link(CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  if (!link.IsValid()) return false;
  // What was opened must be the link itself, not what it leads to. Before Windows Vista the system
  // cannot say, and never follows a link opened so.
  FinalPathFunction finalPath = FinalPathOfHandle();
  char opened[kPathSize];
  if (finalPath != nullptr &&
      (!HandlePath(finalPath, link.Get(), opened, sizeof opened) || !IsSameOrInside(opened, path) ||
       strlen(opened) != strlen(path))) {
    return false;
  }
  IoStatus io;
  BOOLEAN remove = TRUE;
  return setInformation(link.Get(), &io, &remove, sizeof remove, kFileDispositionInformation) >= 0;
}

bool DeleteFolderTree(const char* path) {
  char work[kPathSize];
  char opened[kPathSize];
  if (!CopyText(work, sizeof work, path)) return false;
  DWORD attributes = GetFileAttributesA(work);
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !GetOpenedPath(work, opened, sizeof opened)) opened[0] = '\0';
  return DeleteTree(work, opened);
}
