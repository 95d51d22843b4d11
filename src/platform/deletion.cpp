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
typedef LONG(WINAPI* QueryObjectFunction)(HANDLE, int, void*, ULONG, ULONG*);
const int kFileDispositionInformation = 13;  // FILE_INFORMATION_CLASS
const int kObjectNameInformation = 1;        // OBJECT_INFORMATION_CLASS

struct IoStatus {
  LONG status;
  ULONG_PTR information;
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A final link is opened itself, not followed; folders open too.
const DWORD kNoFollow = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// OBJECT_NAME_INFORMATION with room for its text, which the system puts right behind it.
struct NameInformation {
  USHORT length;  // bytes
  USHORT maximumLength;
  wchar_t* buffer;
  wchar_t text[kPathSize + 64];
};

void* NtFunction(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name));
}

// The object name of an open handle; false where the system cannot tell or it does not fit.
bool QueryObjectName(HANDLE handle, NameInformation* information) {
  QueryObjectFunction query = reinterpret_cast<QueryObjectFunction>(NtFunction("NtQueryObject"));
  ULONG returned = 0;
  return query != nullptr &&
         query(handle, kObjectNameInformation, information, sizeof *information, &returned) >= 0 &&
         information->buffer != nullptr && information->length / sizeof(wchar_t) < kPathSize + 64;
}

bool MarkForDeletion(HANDLE handle) {
  SetInformationFunction setInformation = reinterpret_cast<SetInformationFunction>(NtFunction("NtSetInformationFile"));
  IoStatus io;
  BOOLEAN remove = TRUE;
  return setInformation != nullptr &&
         setInformation(handle, &io, &remove, sizeof remove, kFileDispositionInformation) >= 0;
}

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

void GetFolderObjectName(const char* path, ObjectName* out) {
  out->length = 0;
  if (GetNtMajorVersion() == 0) return;
  KernelHandle folder(CreateFileA(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
  NameInformation information;
  if (!folder.IsValid() || !QueryObjectName(folder.Get(), &information)) return;
  int length = information.length / sizeof(wchar_t);
  while (length > 0 && information.buffer[length - 1] == L'\\') --length;
  memcpy(out->text, information.buffer, length * sizeof(wchar_t));
  out->length = length;
}

// The one handle is opened not following a final link where the system can, without folder
// semantics (a folder, a junction included, is not opened), and with every sharing mode: an
// entry held open without FILE_SHARE_DELETE cannot be marked anyway. What it names must begin with
// the folder's name exactly as the system gave it; any other spelling goes the careful way.
QuickDeletion DeleteFileInside(const char* path, const ObjectName& folder) {
  if (folder.length == 0) return QuickDeletion::NotDone;
  KernelHandle file(CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.IsValid()) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? QuickDeletion::Gone
                                                                          : QuickDeletion::NotDone;
  }
  NameInformation information;
  if (!QueryObjectName(file.Get(), &information)) return QuickDeletion::NotDone;
  const int length = information.length / sizeof(wchar_t);
  if (length <= folder.length || information.buffer[folder.length] != L'\\' ||
      memcmp(information.buffer, folder.text, folder.length * sizeof(wchar_t)) != 0) {
    return QuickDeletion::NotDone;
  }
  return MarkForDeletion(file.Get()) ? QuickDeletion::Deleted : QuickDeletion::NotDone;
}

bool DeleteLinkItself(const char* path) {
  // Links came with NT 5; the 9x family has none.
  if (GetNtMajorVersion() < 5) return false;
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
  return MarkForDeletion(link.Get());
}

bool DeleteFolderTree(const char* path) {
  char work[kPathSize];
  char opened[kPathSize];
  if (!CopyText(work, sizeof work, path)) return false;
  DWORD attributes = GetFileAttributesA(work);
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !GetOpenedPath(work, opened, sizeof opened)) opened[0] = '\0';
  return DeleteTree(work, opened);
}
