#include "setup/links.h"

#include <objbase.h>
#include <shlobj.h>
#include <string.h>
#include <windows.h>

#include "lang/messages.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "shell/companions.h"

namespace {

const char kLinkName[] = "Korvex.lnk";
const char kGroupName[] = "Korvex";
const char kDescription[] = "Korvex";

// The file-system path of a special folder; false when the shell cannot say.
bool SpecialFolderPath(IMalloc* allocator, int csidl, char* path) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) return false;
  // SHGetPathFromIDListA writes up to MAX_PATH characters, well within our 1024 bytes.
  bool ok = SHGetPathFromIDListA(items, path) != FALSE;
  if (allocator != nullptr) allocator->Free(items);
  return ok && path[0] != '\0';
}

// A translated link name is used only when it is one plain file name: a name with a path in it
// would make (and leave) a link in some other folder.
const char* LinkNameOf(int id) {
  const char* name = GetMessageText(id);
  return IsPlainFileName(name) ? name : GetBuiltInMessageText(id);
}

struct GroupItem {
  const char* name;
  const char* target;
};

void MakeGroup(const char* group, const GroupItem (&items)[3]) {
  CreateDirectoryA(group, nullptr);  // an existing folder is fine
  for (const GroupItem& item : items) {
    char linkName[kPathSize];
    char link[kPathSize];
    char target[kPathSize];
    if (!CopyText(linkName, sizeof linkName, item.name) || !AppendText(linkName, sizeof linkName, ".lnk") ||
        !JoinPath(link, sizeof link, group, linkName) || !PathBesideProgram(target, sizeof target, item.target)) {
      continue;
    }
    CreateShellLink(target, link, kDescription);
  }
}

void ApplyOneLink(IMalloc* allocator, int csidl, bool wanted, const char* archiver) {
  char folder[kPathSize];
  char link[kPathSize];
  bool found = csidl == CSIDL_DESKTOPDIRECTORY ? GetDesktopFolder(folder, sizeof folder)
                                               : SpecialFolderPath(allocator, csidl, folder);
  if (!found || !JoinPath(link, sizeof link, folder, kLinkName)) return;
  if (wanted) {
    CreateShellLink(archiver, link, kDescription);
  } else {
    DeleteFileA(link);
  }
}

}  // namespace

bool CreateShellLink(const char* target, const char* linkFile, const char* description) {
  // A link holds at most MAX_PATH characters of target: a longer one would be saved cut or empty.
  if (strlen(target) >= MAX_PATH) return false;
  ComRef<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.OutVoid()))) {
    return false;
  }
  if (FAILED(link->SetPath(target))) return false;
  link->SetDescription(description);
  ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid()))) return false;
  WCHAR widePath[MAX_PATH];
  // A link path that does not fit the shell's limit is not saved under some other, cut name.
  if (MultiByteToWideChar(CP_ACP, 0, linkFile, -1, widePath, MAX_PATH) == 0) return false;
  return SUCCEEDED(file->Save(widePath, TRUE));
}

bool GetDesktopFolder(char* path, int size) {
  if (size < MAX_PATH) return false;
  ComRef<IMalloc> allocator;
  SHGetMalloc(allocator.Out());  // leaves it null when it fails
  return SpecialFolderPath(allocator.Get(), CSIDL_DESKTOPDIRECTORY, path);
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
  if (!PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE)) return;
  ComRef<IMalloc> shellAllocator;
  SHGetMalloc(shellAllocator.Out());  // leaves it null when it fails
  IMalloc* allocator = shellAllocator.Get();

  ApplyOneLink(allocator, CSIDL_DESKTOPDIRECTORY, settings->Desktop != 0, archiver);
  ApplyOneLink(allocator, CSIDL_STARTMENU, settings->StartMenu != 0, archiver);

  // Names of the group's links: message texts, so they follow the language in use.
  const GroupItem items[3] = {{kGroupName, KVX_ARCHIVER_EXE},
                              {LinkNameOf(IDS_HELP_LINK), KVX_HELP_LINK_TARGET},
                              {LinkNameOf(IDS_MANUAL_LINK), KVX_CONSOLE_MANUAL}};
  const int groupFolders[2] = {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS};
  for (int csidl : groupFolders) {
    // The all-users group exists on the NT family only.
    if (csidl == CSIDL_COMMON_PROGRAMS && GetNtMajorVersion() == 0) break;
    char folder[kPathSize];
    char group[kPathSize];
    if (!SpecialFolderPath(allocator, csidl, folder) || !JoinPath(group, sizeof group, folder, kGroupName)) {
      if (csidl == CSIDL_COMMON_PROGRAMS) break;
      continue;
    }
    if (settings->Programs) {
      if (csidl == CSIDL_PROGRAMS && groupPathOut != nullptr) CopyText(groupPathOut, kPathSize, group);
      MakeGroup(group, items);
    } else {
      DeleteFolderTree(group, sizeof group);
    }
  }
}
