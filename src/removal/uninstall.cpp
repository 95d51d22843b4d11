#include "removal/uninstall.h"

#include <string.h>
#include <windows.h>

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/array.h"
#include "platform/companions.h"
#include "platform/deletion.h"
#include "platform/exit_codes.h"
#include "platform/file_list.h"
#include "platform/handles.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/run_lock.h"
#include "platform/run_log.h"
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

enum class Deletion { Deleted, Gone, Failed, Refused };

// Whether the folder that holds `path` opens inside the installation folder.
bool FolderLeadsInside(const char* path, const char* openedFolder) {
  char parent[kPathSize];
  char opened[kPathSize];
  return FolderOfPath(parent, sizeof parent, path) && GetOpenedPath(parent, opened, sizeof opened) &&
         IsSameOrInside(opened, openedFolder);
}

// One attempt at an entry. Where the system can tell (`openedFolder`, see GetOpenedPath, is not
// empty), the entry must open inside the installation folder: one behind a link on the way to it is
// refused, and a link in its place that the system follows stays. Read-only, hidden and system attributes are
// cleared when they are in the way; an entry found missing is gone for good, since nothing here
// creates files. A listed link goes as a link, never through it.
Deletion DeleteEntry(const char* path, const char* openedFolder) {
  char opened[kPathSize];
  if (openedFolder[0] != '\0') {
    if (GetOpenedPath(path, opened, sizeof opened)) {
      if (!IsSameOrInside(opened, openedFolder)) {
        return FolderLeadsInside(path, openedFolder) ? Deletion::Failed : Deletion::Refused;
      }
    } else if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND) {
      return Deletion::Gone;
    }
  }
  if (DeleteFileA(path)) return Deletion::Deleted;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Deletion::Gone;
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return Deletion::Gone;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return DeleteLinkItself(path) ? Deletion::Deleted : Deletion::Failed;
  }
  // A folder goes only once it is empty.
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  bool cleared = false;
  if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) {
    cleared = SetFileAttributesA(path, 0) != FALSE;
  }
  if (folder) return RemoveDirectoryA(path) ? Deletion::Deleted : Deletion::Failed;
  return cleared && DeleteFileA(path) ? Deletion::Deleted : Deletion::Failed;
}

// Where the system cannot tell where a path opens (before Windows Vista): whether a folder on the
// way from the installation folder (`folderLength` characters of `path`) to an entry is a link. A
// folder that cannot be looked at (a missing one, mostly) counts as well: nothing is behind it.
// `checked` keeps the last entry's path found free of links, for the entries of one folder that
// follow it in the same pass.
bool PassesThroughLink(const char* path, size_t folderLength, char* checked) {
  char walk[kPathSize];
  if (!CopyText(walk, sizeof walk, path)) return true;
  for (char* p = walk + strlen(walk); --p > walk + folderLength;) {
    if (*p != '\\') continue;
    size_t n = static_cast<size_t>(p - walk);
    if (strncmp(walk, checked, n) == 0 && checked[n] == '\\') break;
    *p = '\0';
    if (IsLinkOrMissing(GetFileAttributesA(walk))) return true;
  }
  CopyText(checked, kPathSize, path);
  return false;
}

// The list's entries, split off in place, that stay inside the installation folder: nothing outside
// it is ever deleted, whatever the list says. False when memory ran out, before anything changed.
bool CollectEntries(char* text, unsigned long size, Array<char*>* entries) {
  char* cursor = text;
  while (char* entry = NextListEntry(&cursor, text + size)) {
    if (const char* refusal = EntryRefusal(entry)) {
      LogStep("refused (", refusal, "): ", entry);
      continue;
    }
    for (char* p = entry; *p != '\0'; ++p) {
      if (*p == '/') *p = '\\';  // as the system spells the paths it opens
    }
    if (!entries->TryAdd(entry)) return false;
  }
  return true;
}

// One pass's share of the entries: those from `first` on, every `step`-th.
struct PassShare {
  const char* folder;
  const char* openedFolder;
  const ObjectName* folderName;
  Array<char*>* entries;
  int first;
  int step;
  unsigned long counts[2];  // deleted, found gone
};

// Tries each entry of the share once. An entry deleted, found gone or refused (its path does not
// fit, or leads through a link) is cleared in `entries` and not tried again.
DWORD WINAPI RunPassShare(void* parameter) {
  PassShare& share = *static_cast<PassShare*>(parameter);
  const size_t folderLength = strlen(share.folder);
  char checked[kPathSize];
  checked[0] = '\0';
  for (int i = share.first; i < share.entries->Count(); i += share.step) {
    char*& entry = (*share.entries)[i];
    char path[kPathSize];
    if (entry == nullptr) continue;
    // Never a cut path, which would name another file.
    if (!JoinPath(path, sizeof path, share.folder, entry)) {
      LogStep("refused (too long): ", entry);
      entry = nullptr;
      continue;
    }
    Deletion result;
    if (share.openedFolder[0] == '\0') {
      result = PassesThroughLink(path, folderLength, checked) ? Deletion::Refused : DeleteEntry(path, share.openedFolder);
    } else {
      QuickDeletion quick = DeleteFileInside(path, *share.folderName);
      result = quick == QuickDeletion::Deleted ? Deletion::Deleted
               : quick == QuickDeletion::Gone  ? Deletion::Gone
                                               : DeleteEntry(path, share.openedFolder);
    }
    if (result == Deletion::Refused) LogStep("refused (behind a link): ", entry);
    if (result != Deletion::Failed) entry = nullptr;
    if (result == Deletion::Deleted || result == Deletion::Gone) ++share.counts[result == Deletion::Gone];
  }
  return 0;
}

// Passes over the entries until one deletes nothing; the others (in use, a folder still holding
// unlisted files, a link that cannot be removed as one) are tried in every pass and stay in
// `entries`. A long list is shared by two threads: under Wine a deletion waits mostly on the
// server, and two of them in flight take about as long as one alone. A short list keeps one
// thread and so the same order of calls in every run.
void DeleteEntries(const char* folder, const char* openedFolder, Array<char*>* entries) {
  const int kSharedFrom = 256;
  ObjectName folderName;
  folderName.length = 0;
  // Only where the system can tell where a path opens (see GetOpenedPath) is the quick way taken.
  if (openedFolder[0] != '\0') GetFolderObjectName(folder, &folderName);
  const int step = folderName.length > 0 && entries->Count() >= kSharedFrom ? 2 : 1;
  unsigned long counts[2] = {0, 0};
  unsigned long deleted;
  do {
    PassShare shares[2];
    for (int s = 0; s < 2; ++s) shares[s] = {folder, openedFolder, &folderName, entries, s, step, {0, 0}};
    KernelHandle second(step == 2 ? CreateThread(nullptr, 0, RunPassShare, &shares[1], 0, nullptr) : nullptr);
    // Without a second thread the first takes every entry.
    if (step == 2 && !second.IsValid()) shares[0].step = 1;
    RunPassShare(&shares[0]);
    if (second.IsValid()) WaitForSingleObject(second.Get(), INFINITE);
    deleted = 0;
    for (const PassShare& share : shares) {
      deleted += share.counts[0];
      counts[0] += share.counts[0];
      counts[1] += share.counts[1];
    }
  } while (deleted != 0);
  char deletedText[12], goneText[12];
  FormatDecimal(deletedText, sizeof deletedText, counts[0]);
  FormatDecimal(goneText, sizeof goneText, counts[1]);
  LogStep("entries deleted: ", deletedText, ", already gone: ", goneText);
}

// A listed file that no pass could delete is held open (the shell extension, loaded by the shell,
// is the usual one): it goes at the next start of the system, then the listed folders that held
// it (deepest first) and the installation folder, each only if empty by then. The program itself
// is left to the batch file; a drive's or share's root as the folder is never scheduled. A link
// that could not be removed as one is never scheduled either (the system's deletion at start-up
// might follow it): it is left, and so is the removal unfinished.
enum class RestartStep { Nothing, Scheduled, Failed };

RestartStep DeleteRemainingAtRestart(const char* program, const char* folder, const char* openedFolder,
                                     const Array<char*>& entries) {
  Array<char*> paths;  // files, then folders, on the process heap
  Array<char*> folders;
  bool left = false;
  bool complete = true;
  for (int i = 0; i < entries.Count(); ++i) {
    char path[kPathSize];
    if (entries[i] == nullptr || !JoinPath(path, sizeof path, folder, entries[i])) continue;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || CompareTextNoCase(path, program) == 0) continue;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !LeadsInside(path, openedFolder))) {
      LogStep("left (a link that cannot be removed as one): ", entries[i]);
      left = true;
      continue;
    }
    LogStep((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "folder not empty: " : "could not be deleted: ", entries[i]);
    size_t size = strlen(path) + 1;
    char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (copy == nullptr) {
      complete = false;
      continue;
    }
    CopyText(copy, size, path);
    if (!((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? folders : paths).TryAdd(copy)) {
      HeapFree(GetProcessHeap(), 0, copy);
      complete = false;
    }
  }
  const int fileCount = paths.Count();
  // Folders: the longest path left first, so that a folder comes before the folder that holds it.
  for (int remaining = folders.Count(); remaining > 0; --remaining) {
    int longest = 0;
    for (int j = 1; j < remaining; ++j) {
      if (strlen(folders[j]) > strlen(folders[longest])) longest = j;
    }
    if (!paths.TryAdd(folders[longest])) {
      HeapFree(GetProcessHeap(), 0, folders[longest]);
      complete = false;
    }
    folders[longest] = folders[remaining - 1];
  }
  const int owned = paths.Count();
  bool scheduled = true;
  if (fileCount > 0) {
    if (!IsRootPath(folder) && !paths.TryAdd(const_cast<char*>(folder))) complete = false;
    scheduled = DeleteAtRestart(paths.Items(), paths.Count());
    char count[12];
    FormatDecimal(count, sizeof count, static_cast<unsigned long>(paths.Count()));
    if (scheduled) {
      LogStep("scheduled for the next restart: ", count, " files and folders");
    } else {
      LogError("the restart step failed", GetLastError());
    }
  }
  for (int i = 0; i < owned; ++i) HeapFree(GetProcessHeap(), 0, paths[i]);
  if (!complete) LogStep("the restart step ran out of memory");
  if (left || !complete || !scheduled) return RestartStep::Failed;
  return fileCount > 0 ? RestartStep::Scheduled : RestartStep::Nothing;
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

// What goes once the batch file runs: the uninstall entry. The list stays until the batch file has
// deleted the program, so that a removal stopped on the way, the interpreter's included, is
// finished by running the program again.
void FinishRemoval() { DeleteUninstallEntry(); }

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
  HeapBlock textOwner(text);
  if (text == nullptr) LogError("the list of installed files cannot be read", GetLastError());
  Array<char*> entries;
  if (text != nullptr && !CollectEntries(text, size, &entries)) {
    LogStep("out of memory for the list's entries");
    return unfinished;  // nothing changed
  }
  // A list without one entry to delete is no list: removing the registrations alone would leave
  // every file with nothing to finish the job.
  if (entries.Count() == 0) {
    if (text != nullptr) LogStep("the list names nothing to delete: ", listPath);
    if (silent) return kExitListMissing;
    // Nothing has been changed yet.
    char message[kMessageSize + sizeof KVX_FILE_LIST];
    FormatOneString(message, sizeof message, GetMessageText(IDS_LIST_MISSING), KVX_FILE_LIST);
    ShowRemovalBox(message, MB_ICONERROR);
    return 0;
  }

  char count[12];
  FormatDecimal(count, sizeof count, static_cast<unsigned long>(entries.Count()));
  LogStep("list: ", listPath, ", entries: ", count);
  CleanIntegration();
  UnloadLanguageLibrary();  // so that it can be deleted; no message is shown from here on
  for (const char* companion : kUnlistedCompanions) DeleteInFolder(folder, companion);
  // Where the system opens the folder: a file opened elsewhere is a link in disguise.
  char openedFolder[kPathSize];
  if (!GetOpenedPath(folder, openedFolder, sizeof openedFolder)) openedFolder[0] = '\0';
  DeleteEntries(folder, openedFolder, &entries);
  RestartStep restart = DeleteRemainingAtRestart(program, folder, openedFolder, entries);
  // Without its batch file the removal is not over: the list and the entry stay for a rerun.
  if (!StartSelfDeletion(program, folder, silent)) return unfinished;
  FinishRemoval();
  lock.Release();
  // The process ends here: the batch file waits for it before it deletes the program.
  const int exitCode = !silent                           ? 0
                       : restart == RestartStep::Failed    ? kExitUnfinished
                       : restart == RestartStep::Scheduled ? kExitRestartNeeded
                                                           : kExitDone;
  LogExitAndClose(exitCode);
  ExitProcess(exitCode);
}

void FinishInterruptedRemoval() {
  char listPath[kPathSize];
  RunLock lock;
  if (!PathBesideProgram(listPath, sizeof listPath, KVX_FILE_LIST) ||
      GetFileAttributesA(listPath) == INVALID_FILE_ATTRIBUTES || !lock.Acquire(kRunLockWait)) {
    return;
  }
  FinishRemoval();  // the registry layer logs the entry when it was still there
}

void DeleteFileList() {
  char listPath[kPathSize];
  LogStep("the batch file could not delete the program; the list of installed files goes");
  if (PathBesideProgram(listPath, sizeof listPath, KVX_FILE_LIST)) DeleteFileA(listPath);
}

void DeleteProgramAtRestart() {
  char program[kPathSize];
  char folder[kPathSize];
  if (!GetProgramPath(program, sizeof program) || !FolderOfPath(folder, sizeof folder, program)) return;
  const char* paths[2] = {program, folder};
  if (DeleteAtRestart(paths, IsRootPath(folder) ? 1 : 2)) {  // a drive's root is never scheduled
    LogStep("scheduled for the next restart: ", program);
  } else {
    LogError("the program could not be scheduled for the next restart", GetLastError());
  }
}
