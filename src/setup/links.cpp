#include "setup/links.h"

#include <objbase.h>
#include <shlobj.h>
#include <string.h>
#include <windows.h>

#include "lang/messages.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "shell/companions.h"

namespace {

const int kPathSize = 1024;
const char kLinkName[] = "Korvex.lnk";
const char kGroupName[] = "Korvex";
const char kDescription[] = "Korvex";

// Releases a COM interface when it goes out of scope.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (object_ != nullptr) object_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* Get() const { return object_; }
  void** Out() { return reinterpret_cast<void**>(&object_); }
  T* operator->() const { return object_; }

 private:
  T* object_ = nullptr;
};

// The file-system path of a special folder; false when the shell cannot say.
bool SpecialFolderPath(IMalloc* allocator, int csidl, char* path) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) return false;
  // SHGetPathFromIDListA writes up to MAX_PATH characters, well within our 1024 bytes.
  bool ok = SHGetPathFromIDListA(items, path) != FALSE;
  if (allocator != nullptr) allocator->Free(items);
  return ok && path[0] != '\0';
}

bool PathIn(const char* folder, const char* name, char* out) {
  if (!CopyText(out, kPathSize, folder)) return false;
  EnsureTrailingBackslash(out, kPathSize);
  return AppendText(out, kPathSize, name);
}

struct GroupItem {
  const char* name;
  const char* target;
};

void MakeGroup(const char* group, const char* archiver, const GroupItem (&items)[3]) {
  CreateDirectoryA(group, nullptr);  // an existing folder is fine
  for (const GroupItem& item : items) {
    char linkName[kPathSize];
    char link[kPathSize];
    char target[kPathSize];
    CopyText(linkName, sizeof linkName, item.name);
    if (!AppendText(linkName, sizeof linkName, ".lnk") || !PathIn(group, linkName, link)) continue;
    CopyText(target, sizeof target, archiver);
    char* name = FindFileNamePart(target);
    if (!CopyText(name, sizeof target - static_cast<size_t>(name - target), item.target)) continue;
    CreateShellLink(target, link, kDescription);
  }
}

void ApplyOneLink(IMalloc* allocator, int csidl, bool wanted, const char* archiver) {
  char folder[kPathSize];
  char link[kPathSize];
  bool found = csidl == CSIDL_DESKTOPDIRECTORY ? GetDesktopFolder(folder, sizeof folder)
                                               : SpecialFolderPath(allocator, csidl, folder);
  if (!found || !PathIn(folder, kLinkName, link)) return;
  if (wanted) {
    CreateShellLink(archiver, link, kDescription);
  } else {
    DeleteFileA(link);
  }
}

}  // namespace

bool CreateShellLink(const char* target, const char* linkFile, const char* description) {
  ComRef<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out()))) {
    return false;
  }
  link->SetPath(target);
  link->SetDescription(description);
  ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return false;
  WCHAR widePath[MAX_PATH];
  // A link path that does not fit the shell's limit is not saved under some other, cut name.
  if (MultiByteToWideChar(CP_ACP, 0, linkFile, -1, widePath, MAX_PATH) == 0) return false;
  return SUCCEEDED(file->Save(widePath, TRUE));
}

bool GetDesktopFolder(char* path, int size) {
  if (size < MAX_PATH) return false;
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator))) allocator = nullptr;
  bool ok = SpecialFolderPath(allocator, CSIDL_DESKTOPDIRECTORY, path);
  if (allocator != nullptr) allocator->Release();
  return ok;
}

bool DeleteFolderTree(char* path, int size) {
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;
  size_t n = strlen(path);
  if (n + 2 > static_cast<size_t>(size)) return false;
  path[n + 1] = '\0';  // the list of names ends with an empty name
  SHFILEOPSTRUCTA operation;
  ZeroMemory(&operation, sizeof operation);
  operation.wFunc = FO_DELETE;
  operation.pFrom = path;
  // Deleted outright, not moved to the recycle bin; a failure shows the shell's own message.
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  return SHFileOperationA(&operation) == 0;
}

void ApplyLinks(const IntegrationSettings* settings, char* groupPathOut) {
  char archiver[kPathSize];
  if (!CompanionPath(KVX_ARCHIVER_EXE, archiver, sizeof archiver)) return;
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator))) allocator = nullptr;

  ApplyOneLink(allocator, CSIDL_DESKTOPDIRECTORY, settings->Desktop != 0, archiver);
  ApplyOneLink(allocator, CSIDL_STARTMENU, settings->StartMenu != 0, archiver);

  // Names of the group's links: message texts, so they follow the language in use.
  const GroupItem items[3] = {{kGroupName, KVX_ARCHIVER_EXE},
                              {GetMessageText(IDS_HELP_LINK), KVX_HELP_LINK_TARGET},
                              {GetMessageText(IDS_MANUAL_LINK), KVX_CONSOLE_MANUAL}};
  const int groupFolders[2] = {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS};
  for (int csidl : groupFolders) {
    // The all-users group exists on the NT family only.
    if (csidl == CSIDL_COMMON_PROGRAMS && GetNtMajorVersion() == 0) break;
    char folder[kPathSize];
    char group[kPathSize];
    if (!SpecialFolderPath(allocator, csidl, folder) || !PathIn(folder, kGroupName, group)) {
      if (csidl == CSIDL_COMMON_PROGRAMS) break;
      continue;
    }
    if (settings->Programs) {
      if (csidl == CSIDL_PROGRAMS && groupPathOut != nullptr) CopyText(groupPathOut, kPathSize, group);
      MakeGroup(group, archiver, items);
    } else {
      DeleteFolderTree(group, sizeof group);
    }
  }
  if (allocator != nullptr) allocator->Release();
}
