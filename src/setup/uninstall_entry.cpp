#include "setup/uninstall_entry.h"

#include <windows.h>

#include "lang/messages.h"
#include "platform/companions.h"
#include "platform/file_list.h"
#include "platform/handles.h"
#include "platform/installations.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "resources/resource.h"

const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex archiver";

namespace {

// What the archiver's own version resource says; empty texts where it says nothing.
struct ArchiverVersion {
  bool known;
  DWORD major, minor, build, revision;
  char publisher[256];
};

typedef DWORD(WINAPI* VersionSizeFunction)(const char*, DWORD*);
typedef BOOL(WINAPI* VersionInfoFunction)(const char*, DWORD, DWORD, void*);
typedef BOOL(WINAPI* VersionQueryFunction)(const void*, const char*, void**, UINT*);

// The version library is loaded only here: no other run needs it.
void ReadArchiverVersion(const char* archiver, ArchiverVersion* out) {
  out->known = false;
  out->publisher[0] = '\0';
  HMODULE library = static_cast<HMODULE>(LoadSystemLibrary("version.dll"));
  if (library == nullptr) return;
  VersionSizeFunction size = reinterpret_cast<VersionSizeFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "GetFileVersionInfoSizeA")));
  VersionInfoFunction info =
      reinterpret_cast<VersionInfoFunction>(reinterpret_cast<void*>(GetProcAddress(library, "GetFileVersionInfoA")));
  VersionQueryFunction query =
      reinterpret_cast<VersionQueryFunction>(reinterpret_cast<void*>(GetProcAddress(library, "VerQueryValueA")));
  DWORD handle = 0;
  DWORD bytes = size != nullptr && info != nullptr && query != nullptr ? size(archiver, &handle) : 0;
  void* block = bytes != 0 ? HeapAlloc(GetProcessHeap(), 0, bytes) : nullptr;
  if (block != nullptr && info(archiver, 0, bytes, block)) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (query(block, "\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr &&
        length >= sizeof *fixed && fixed->dwSignature == 0xFEEF04BD) {
      out->known = true;
      out->major = HIWORD(fixed->dwProductVersionMS);
      out->minor = LOWORD(fixed->dwProductVersionMS);
      out->build = HIWORD(fixed->dwProductVersionLS);
      out->revision = LOWORD(fixed->dwProductVersionLS);
    }
    // The company of the first language the resource lists.
    WORD* translation = nullptr;
    if (query(block, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
        translation != nullptr && length >= 4) {
      char name[64] = "\\StringFileInfo\\";
      static const char kDigits[] = "0123456789abcdef";
      char code[9];
      DWORD both = static_cast<DWORD>(translation[0]) << 16 | translation[1];
      for (int i = 0; i < 8; ++i) code[i] = kDigits[(both >> (28 - 4 * i)) & 0xF];
      code[8] = '\0';
      AppendText(name, sizeof name, code);
      AppendText(name, sizeof name, "\\CompanyName");
      char* company = nullptr;
      // A text that would be cut is not used.
      if (query(block, name, reinterpret_cast<void**>(&company), &length) && company != nullptr &&
          !CopyText(out->publisher, sizeof out->publisher, company)) {
        out->publisher[0] = '\0';
      }
      TrimTrailingBlanks(out->publisher);
    }
  }
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
  FreeLibrary(library);
}

void WriteOrDeleteString(const char* name, const char* text, bool known) {
  if (known && text[0] != '\0') {
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, name, text);
  } else {
    DeleteRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, name);
  }
}

// "a.b.c" with the fourth number only when it is not 0.
void VersionText(const ArchiverVersion& v, char* out, size_t size) {
  const DWORD parts[4] = {v.major, v.minor, v.build, v.revision};
  out[0] = '\0';
  for (int i = 0; i < (v.revision != 0 ? 4 : 3); ++i) {
    char number[12];
    FormatDecimal(number, sizeof number, parts[i]);
    if (i > 0) AppendText(out, size, ".");
    AppendText(out, size, number);
  }
}

// The local date as the list of programs shows it, "YYYYMMDD".
void TodayText(char* out, size_t size) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char year[12];
  FormatDecimal(year, sizeof year, now.wYear);
  const char two[5] = {static_cast<char>('0' + now.wMonth / 10), static_cast<char>('0' + now.wMonth % 10),
                       static_cast<char>('0' + now.wDay / 10), static_cast<char>('0' + now.wDay % 10), '\0'};
  CopyText(out, size, year);
  AppendText(out, size, two);
}

// The sizes of the files that "Uninstall.lst" names inside the installation folder, in KiB rounded
// up: what a removal would free. False without a list.
bool ListedSizeKiB(unsigned long* kib) {
  char program[kPathSize];
  char folder[kPathSize];
  char listPath[kPathSize];
  unsigned long size = 0;
  char* text = GetProgramPath(program, sizeof program) && FolderOfPath(folder, sizeof folder, program)
                   ? ReadFileList(folder, listPath, sizeof listPath, &size)
                   : nullptr;
  if (text == nullptr) return false;
  HeapBlock textOwner(text);
  typedef BOOL(WINAPI * AttributesExFunction)(const char*, GET_FILEEX_INFO_LEVELS, void*);
  AttributesExFunction attributesEx = reinterpret_cast<AttributesExFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileAttributesExA")));
  unsigned long long bytes = 0;
  char* cursor = text;
  while (char* entry = NextListEntry(&cursor, text + size)) {
    char path[kPathSize];
    // Only what a removal would delete counts; a wildcard would make the search below count others.
    if (!IsEntryInsideFolder(entry) || strpbrk(entry, "*?") != nullptr || !JoinPath(path, sizeof path, folder, entry)) {
      continue;
    }
    // One look at the file where the system has it (98 and NT 4 on); a directory search on 95, which
    // costs a good twenty times more under Wine and makes a large list's setup seconds slower.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (attributesEx != nullptr) {
      if (!attributesEx(path, GetFileExInfoStandard, &data)) continue;
    } else {
      WIN32_FIND_DATAA found;
      HANDLE search = FindFirstFileA(path, &found);
      if (search == INVALID_HANDLE_VALUE) continue;
      FindClose(search);
      data.dwFileAttributes = found.dwFileAttributes;
      data.nFileSizeHigh = found.nFileSizeHigh;
      data.nFileSizeLow = found.nFileSizeLow;
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      bytes += static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    }
  }
  *kib = static_cast<unsigned long>((bytes + 1023) >> 10);
  return true;
}

}  // namespace

void WriteUninstallEntry() {
  char name[kMessageSize];
  LoadMessageText(IDS_DISPLAY_NAME, name);
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", name);
  char path[kPathSize];
  char folder[kPathSize];
  // A cut path would start some other program.
  if (!GetProgramPath(path, sizeof path) || !FolderOfPath(folder, sizeof folder, path)) return;
  // The list of programs and deployment tools run these as command lines: always quoted, or
  // "C:\Program Files\..." would first start "C:\Program.exe", and tools that split the line
  // themselves split it at the blank. The quotes hold no "/", so the program still starts its removal.
  char command[kPathSize + 2];
  CopyText(command, sizeof command, "\"");
  AppendText(command, sizeof command, path);
  AppendText(command, sizeof command, "\"");
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", command);
  // Deployment tools remove programs without any window through this one.
  char line[kPathSize + 16];
  if (CopyText(line, sizeof line, command) && AppendText(line, sizeof line, " /remove /s")) {
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString", line);
  }
  // The list's "Change" opens the setup dialog again: that is how the integration is changed.
  if (CopyText(line, sizeof line, command) && AppendText(line, sizeof line, " /setup")) {
    WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "ModifyPath", line);
  }
  WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair", 1);
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation", folder);
  TodayText(line, sizeof line);
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallDate", line);
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "URLInfoAbout", KVX_WEB_SITE);
  WriteRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "HelpLink", KVX_WEB_SITE);
  unsigned long kib = 0;
  if (ListedSizeKiB(&kib)) {
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize", kib);
  } else {
    DeleteRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize");
  }

  // The archiver's icon and version; a value that is no longer known goes, never stays stale.
  char archiver[kPathSize];
  bool found = PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE) &&
               GetFileAttributesA(archiver) != INVALID_FILE_ATTRIBUTES;
  ArchiverVersion version = {};
  if (found) ReadArchiverVersion(archiver, &version);
  char icon[kPathSize + 4];
  bool iconFits = found && QuoteCommandPath(icon, sizeof icon, archiver) && AppendText(icon, sizeof icon, ",0");
  WriteOrDeleteString("DisplayIcon", icon, iconFits);
  VersionText(version, line, sizeof line);
  WriteOrDeleteString("DisplayVersion", line, version.known);
  WriteOrDeleteString("Publisher", version.publisher, version.known);
  if (version.known) {
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, "VersionMajor", version.major);
    WriteRegDword(HKEY_LOCAL_MACHINE, kUninstallKey, "VersionMinor", version.minor);
  } else {
    DeleteRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "VersionMajor");
    DeleteRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "VersionMinor");
  }
}

bool IsAnotherInstallationsUninstallEntry() {
  return RegNamesAnotherInstallation(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
}

void DeleteUninstallEntry() {
  if (!IsAnotherInstallationsUninstallEntry()) DeleteRegKey(HKEY_LOCAL_MACHINE, kUninstallKey);
}
