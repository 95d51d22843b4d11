#include "removal/uninstall.h"

#include <string.h>
#include <windows.h>

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/array.h"
#include "platform/companions.h"
#include "platform/exit_codes.h"
#include "platform/file_list.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/run_lock.h"
#include "platform/text.h"
#include "removal/clean_registry.h"
#include "removal/restart_deletion.h"
#include "removal/self_deletion.h"
#include "resources/resource.h"
#include "setup/uninstall_entry.h"

namespace {

// Files beside the program that no list names: the help system's caches, and the templates of new
// archives that the setup itself made on newer systems.
const char* const kUnlistedCompanions[4] = {"korvex.gid", "korvex.fts", KVX_KVX_TEMPLATE, KVX_ZIP_TEMPLATE};

enum class Deletion { Deleted, Gone, Failed };

// One attempt at an entry. Read-only, hidden and system attributes are cleared when they are in
// the way; an entry found missing is gone for good, since nothing here creates files. A listed
// link (a junction) goes through RemoveDirectoryA, which takes the junction itself, never what it
// points at; its attributes are left alone, since changing them may reach the target.
Deletion DeleteEntry(const char* path) {
  if (DeleteFileA(path)) return Deletion::Deleted;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Deletion::Gone;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return Deletion::Gone;
  bool cleared = false;
  if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0 &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    cleared = SetFileAttributesA(path, 0) != FALSE;
  }
  // A folder goes only once it is empty.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryA(path) ? Deletion::Deleted : Deletion::Failed;
  return cleared && DeleteFileA(path) ? Deletion::Deleted : Deletion::Failed;
}

// Whether a folder on the way from `folder` to an entry is a link: a junction on Windows (Wine
// reports its symbolic links so). What lies behind one may be anywhere, system files included, and
// the removal often runs elevated for a user who may write the installation folder. A folder that
// cannot be looked at (a missing one, mostly) counts as well: there is nothing to delete behind it.
// `checked` keeps the last entry's path found free of links: the folders on its way need no second
// look, so entries of one folder in a row cost one look for the folder, entries spread over
// sibling folders about one each.
bool PassesThroughLink(const char* folder, const char* entry, char* checked) {
  char path[kPathSize];
  if (!JoinPath(path, sizeof path, folder, entry)) return false;  // refused when deleted
  const char* name = path + strlen(folder);
  // The parent, then each folder above it up to the installation folder or to one looked at before.
  for (char* p = path + strlen(path); --p > name;) {
    char separator = *p;
    if (separator != '\\' && separator != '/') continue;
    size_t n = static_cast<size_t>(p - path);
    if (strncmp(path, checked, n) == 0 && checked[n] == separator) break;
    *p = '\0';
    DWORD attributes = GetFileAttributesA(path);
    *p = separator;
    // Missing attributes (INVALID_FILE_ATTRIBUTES) have the link's bit set as well.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  }
  CopyText(checked, kPathSize, path);
  return false;
}

// The list's entries, split off in place, that stay inside the installation folder: nothing outside
// it is ever deleted, whatever the list says. False when memory ran out, before anything changed.
bool CollectEntries(char* text, unsigned long size, Array<char*>* entries) {
  char* cursor = text;
  while (char* entry = NextListEntry(&cursor, text + size)) {
    if (IsEntryInsideFolder(entry) && !entries->TryAdd(entry)) return false;
  }
  return true;
}

// Passes over the entries until one deletes nothing. An entry deleted or found gone is not tried
// again and is cleared in `entries`; the others (in use, a folder still holding unlisted files) are
// tried in every pass and stay.
void DeleteEntries(const char* folder, Array<char*>* entries) {
  char checked[kPathSize];
  checked[0] = '\0';
  for (int i = 0; i < entries->Count(); ++i) {
    if (PassesThroughLink(folder, (*entries)[i], checked)) (*entries)[i] = nullptr;
  }
  int deleted;
  do {
    deleted = 0;
    for (int i = 0; i < entries->Count(); ++i) {
      char*& entry = (*entries)[i];
      char path[kPathSize];
      if (entry == nullptr) continue;
      if (!JoinPath(path, sizeof path, folder, entry)) {
        entry = nullptr;  // does not fit: never a cut path, which would name another file
        continue;
      }
      Deletion result = DeleteEntry(path);
      if (result != Deletion::Failed) entry = nullptr;
      if (result == Deletion::Deleted) ++deleted;
    }
  } while (deleted != 0);
}

// A listed file that no pass could delete is held open (the shell extension, loaded by the shell,
// is the usual one): it goes at the next start of the system, then the listed folders that held
// it (deepest first) and the installation folder, each only if empty by then. The program itself
// is left to the batch file; links, and a drive's or share's root as the folder, are never
// scheduled.
enum class RestartStep { Nothing, Scheduled, Failed };

RestartStep DeleteRemainingAtRestart(const char* program, const char* folder, const Array<char*>& entries) {
  const int kMost = 64;
  static char paths[kMost][kPathSize];
  const char* files[kMost];
  const char* folders[kMost];
  int fileCount = 0, folderCount = 0;
  for (int i = 0; i < entries.Count() && fileCount + folderCount < kMost - 1; ++i) {
    char* path = paths[fileCount + folderCount];
    if (entries[i] == nullptr || !JoinPath(path, kPathSize, folder, entries[i])) continue;
    DWORD attributes = GetFileAttributesA(path);
    // Missing attributes (INVALID_FILE_ATTRIBUTES) have the link's bit set as well.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || CompareTextNoCase(path, program) == 0) continue;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      folders[folderCount++] = path;
    } else {
      files[fileCount++] = path;
    }
  }
  if (fileCount == 0) return RestartStep::Nothing;
  // Folders: the longest path left first, so that a folder comes before the folder that holds it.
  while (folderCount > 0) {
    int longest = 0;
    for (int j = 1; j < folderCount; ++j) {
      if (strlen(folders[j]) > strlen(folders[longest])) longest = j;
    }
    files[fileCount++] = folders[longest];
    folders[longest] = folders[--folderCount];
  }
  if (!IsRootPath(folder)) files[fileCount++] = folder;
  return DeleteAtRestart(files, fileCount) ? RestartStep::Scheduled : RestartStep::Failed;
}

void DeleteInFolder(const char* folder, const char* name) {
  char path[kPathSize];
  if (!JoinPath(path, sizeof path, folder, name)) return;
  SetFileAttributesA(path, 0);
  DeleteFileA(path);
}

void ShowRemovalBox(const char* text, UINT icon) {
  MessageBoxA(nullptr, text, GetMessageText(IDS_REMOVE_CAPTION), MB_OK | icon | MB_SETFOREGROUND);
}

// The removal's last steps, once the batch file runs: the uninstall entry, then the list. Until
// then both stay, so that a removal stopped on the way is finished by running it again; the list
// goes last, since "/wait" finishes a stopped removal's last steps only while the list is there.
void FinishRemoval(const char* listPath) {
  DeleteUninstallEntry();
  DeleteFileA(listPath);
}

}  // namespace

int UninstallArchiver(bool silent) {
  // Interactive runs end with 0 whatever happens; the boxes say what went wrong.
  const int unfinished = silent ? kExitUnfinished : 0;
  char program[kPathSize];
  char folder[kPathSize];
  if (!GetProgramPath(program, sizeof program) || !FolderOfPath(folder, sizeof folder, program)) return unfinished;
  SetCurrentDirectoryA(folder);

  if (!silent && MessageBoxA(nullptr, GetMessageText(IDS_CONFIRM_REMOVAL), GetMessageText(IDS_REMOVE_CAPTION),
                             MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES) {
    return 0;
  }
  RunLock lock;
  if (!lock.Acquire(kRunLockWait)) {
    if (silent) return kExitAlreadyRunning;
    ShowRemovalBox(GetMessageText(IDS_ALREADY_RUNNING), MB_ICONEXCLAMATION);
    return 0;
  }
  char listPath[kPathSize];
  unsigned long size = 0;
  char* text = ReadFileList(folder, listPath, sizeof listPath, &size);
  if (text == nullptr) {
    if (silent) return kExitListMissing;
    // Nothing has been changed yet.
    char message[kMessageSize + sizeof KVX_FILE_LIST];
    FormatOneString(message, sizeof message, GetMessageText(IDS_LIST_MISSING), KVX_FILE_LIST);
    ShowRemovalBox(message, MB_ICONERROR);
    return 0;
  }
  HeapBlock textOwner(text);
  Array<char*> entries;
  if (!CollectEntries(text, size, &entries)) return unfinished;  // out of memory: nothing changed

  CleanIntegration();
  UnloadLanguageLibrary();  // so that it can be deleted; no message is shown from here on
  for (const char* companion : kUnlistedCompanions) DeleteInFolder(folder, companion);
  DeleteEntries(folder, &entries);
  RestartStep restart = DeleteRemainingAtRestart(program, folder, entries);
  // Without its batch file the removal is not over: the list and the entry stay for a rerun.
  if (!StartSelfDeletion(program, folder, silent)) return unfinished;
  FinishRemoval(listPath);
  lock.Release();
  // The process ends here: the batch file waits for it before it deletes the program.
  ExitProcess(!silent ? 0 : restart == RestartStep::Failed ? kExitUnfinished
                          : restart == RestartStep::Scheduled ? kExitRestartNeeded : kExitDone);
}

void FinishInterruptedRemoval() {
  char listPath[kPathSize];
  RunLock lock;
  if (!PathBesideProgram(listPath, sizeof listPath, KVX_FILE_LIST) ||
      GetFileAttributesA(listPath) == INVALID_FILE_ATTRIBUTES || !lock.Acquire(kRunLockWait)) {
    return;
  }
  FinishRemoval(listPath);
}

void DeleteProgramAtRestart() {
  char program[kPathSize];
  char folder[kPathSize];
  if (!GetProgramPath(program, sizeof program) || !FolderOfPath(folder, sizeof folder, program)) return;
  const char* paths[2] = {program, folder};
  DeleteAtRestart(paths, IsRootPath(folder) ? 1 : 2);  // a drive's root is never scheduled
}
