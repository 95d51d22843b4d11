#include "setup/links.h"

#include <objbase.h>
#include <shlobj.h>
#include <string.h>
#include <windows.h>

#include "lang/messages.h"
#include "platform/run_log.h"
#include "platform/companions.h"
#include "platform/deletion.h"
#include "platform/handles.h"
#include "platform/installations.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "resources/resource.h"

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
void LinkNameOf(int id, char* name) {
  LoadMessageText(id, name);
  if (!IsPlainFileName(name)) LoadBuiltInMessageText(id, name);
}

struct GroupItem {
  const char* name;
  const char* target;
};

// Saves a link and says so in the log. Under Wine each save also starts the menu builder and waits
// for it.
void SaveLink(const char* target, const char* link) {
  LogStep(CreateShellLink(target, link, kDescription) ? "link saved: " : "link not saved: ", link);
}

void MakeGroup(const char* group, const GroupItem (&items)[3]) {
  CreateDirectoryA(group, nullptr);  // an existing folder is fine
  for (const GroupItem& item : items) {
    char linkName[kPathSize];
    char link[kPathSize];
    char target[kPathSize];
    if (CopyText(linkName, sizeof linkName, item.name) && AppendText(linkName, sizeof linkName, ".lnk") &&
        JoinPath(link, sizeof link, group, linkName) && PathBesideProgram(target, sizeof target, item.target)) {
      SaveLink(target, link);
    }
  }
}

// A shell link object, its file and the link file's name as the file wants it; false when one fails.
bool OpenShellLinkObject(const char* linkFile, ComRef<IShellLinkA>* link, ComRef<IPersistFile>* file,
                         WCHAR (&widePath)[MAX_PATH]) {
  // A link path that does not fit the shell's limit is never taken for some other, cut name.
  return MultiByteToWideChar(CP_ACP, 0, linkFile, -1, widePath, MAX_PATH) != 0 &&
         SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    link->OutVoid())) &&
         SUCCEEDED((*link)->QueryInterface(IID_IPersistFile, file->OutVoid()));
}

// Whether a link starts another installation's file (platform/installations); an unreadable one is ours.
bool IsAnotherInstallationsLink(const char* link) {
  char target[kPathSize];
  return ReadShellLinkTarget(link, target, sizeof target) && NamesAnotherInstallation(target);
}

// A group is another installation's when one of the links the setup makes there is.
bool IsAnotherInstallationsGroup(const char* group, const GroupItem (&items)[3]) {
  for (const GroupItem& item : items) {
    char linkName[kPathSize];
    char link[kPathSize];
    if (CopyText(linkName, sizeof linkName, item.name) && AppendText(linkName, sizeof linkName, ".lnk") &&
        JoinPath(link, sizeof link, group, linkName) && IsAnotherInstallationsLink(link)) {
      return true;
    }
  }
  return false;
}

// `kept` (null in a setup, which takes every place over): an unwanted link of another installation
// stays, and sets it.
void ApplyOneLink(IMalloc* allocator, int csidl, bool wanted, const char* archiver, bool* kept) {
  char folder[kPathSize];
  char link[kPathSize];
  bool found = csidl == CSIDL_DESKTOPDIRECTORY ? GetDesktopFolder(folder, sizeof folder)
                                               : SpecialFolderPath(allocator, csidl, folder);
  if (!found || !JoinPath(link, sizeof link, folder, kLinkName)) return;
  if (!wanted && kept != nullptr && IsAnotherInstallationsLink(link)) {
    *kept = true;
  } else if (!wanted) {
    DeleteFileA(link);
  } else {
    SaveLink(archiver, link);
  }
}

}  // namespace

bool CreateShellLink(const char* target, const char* linkFile, const char* description) {
  // A link holds at most MAX_PATH characters of target: a longer one would be saved cut or empty.
  if (strlen(target) >= MAX_PATH) return false;
  ComRef<IShellLinkA> link;
  ComRef<IPersistFile> file;
  WCHAR widePath[MAX_PATH];
  if (!OpenShellLinkObject(linkFile, &link, &file, widePath) || FAILED(link->SetPath(target))) return false;
  link->SetDescription(description);
  return SUCCEEDED(file->Save(widePath, TRUE));
}

bool ReadShellLinkTarget(const char* linkFile, char* target, size_t size) {
  if (size < MAX_PATH) return false;
  ComRef<IShellLinkA> link;
  ComRef<IPersistFile> file;
  WCHAR widePath[MAX_PATH];
  WIN32_FIND_DATAA found;  // older shells want one
  target[0] = '\0';
  if (GetFileAttributesA(linkFile) == INVALID_FILE_ATTRIBUTES ||
      !OpenShellLinkObject(linkFile, &link, &file, widePath) || FAILED(file->Load(widePath, STGM_READ)) ||
      FAILED(link->GetPath(target, MAX_PATH, &found, 0))) {
    target[0] = '\0';
    return false;
  }
  return target[0] != '\0';
}

bool GetDesktopFolder(char* path, size_t size) {
  if (size < MAX_PATH) return false;
  ComRef<IMalloc> allocator;
  SHGetMalloc(allocator.Out());  // leaves it null when it fails
  return SpecialFolderPath(allocator.Get(), CSIDL_DESKTOPDIRECTORY, path);
}

namespace {

// ApplyLinks; `kept` as for ApplyOneLink, and a group goes whole or stays whole. The calling thread
// has COM.
void ApplyLinksKeeping(const IntegrationSettings* settings, char* groupFolder, size_t size, bool* kept) {
  char archiver[kPathSize];
  if (!PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE)) return;
  ComRef<IMalloc> shellAllocator;
  SHGetMalloc(shellAllocator.Out());  // leaves it null when it fails
  IMalloc* allocator = shellAllocator.Get();

  ApplyOneLink(allocator, CSIDL_DESKTOPDIRECTORY, settings->Desktop != 0, archiver, kept);
  ApplyOneLink(allocator, CSIDL_STARTMENU, settings->StartMenu != 0, archiver, kept);

  char help[kMessageSize], manual[kMessageSize];
  LinkNameOf(IDS_HELP_LINK, help);
  LinkNameOf(IDS_MANUAL_LINK, manual);
  const GroupItem items[3] = {{kGroupName, KVX_ARCHIVER_EXE}, {help, KVX_HELP_LINK_TARGET}, {manual, KVX_CONSOLE_MANUAL}};
  const int groupFolders[2] = {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS};
  for (int csidl : groupFolders) {
    if (csidl == CSIDL_COMMON_PROGRAMS && GetNtMajorVersion() == 0) break;
    char folder[kPathSize];
    char group[kPathSize];
    if (!SpecialFolderPath(allocator, csidl, folder) || !JoinPath(group, sizeof group, folder, kGroupName)) {
      if (csidl == CSIDL_COMMON_PROGRAMS) break;
      continue;
    }
    if (settings->Programs) {
      if (csidl == CSIDL_PROGRAMS && groupFolder != nullptr) CopyText(groupFolder, size, group);
      MakeGroup(group, items);
    } else if (kept != nullptr && IsAnotherInstallationsGroup(group, items)) {
      *kept = true;
    } else {
      DeleteFolderTree(group);
    }
  }
}

// ApplyLinksKeeping with COM on this thread for the links' objects.
void ApplyLinksWithCom(const IntegrationSettings* settings, char* groupFolder, size_t size, bool* kept) {
  HRESULT com = CoInitialize(nullptr);
  ApplyLinksKeeping(settings, groupFolder, size, kept);
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace

void ApplyLinks(const IntegrationSettings* settings, char* groupFolder, size_t size) {
  ApplyLinksWithCom(settings, groupFolder, size, nullptr);
}

bool RemoveLinks() {
  bool kept = false;
  ApplyLinksWithCom(&kNothingChosen, nullptr, 0, &kept);
  return kept;
}
