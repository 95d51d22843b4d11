#include "setup/associations.h"

#include <shlobj.h>
#include <string.h>
#include <windows.h>

#include "lang/messages.h"
#include "platform/companions.h"
#include "platform/installations.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/run_log.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "resources/resource.h"

const char kProgId[] = "Korvex";
const char kZipProgId[] = "Korvex.ZIP";

namespace {

const char kKvxContentType[] = "application/x-kvx-compressed";
const char kContentType[] = "application/x-compressed";
const int kVolumesNt = 30;
const int kVolumes9x = 100;

// Empty archives for the shell's "New" menu. Their first bytes are completed at run time, so that
// the files of the installation do not carry an archive signature that scanners would look into.
const unsigned char kKvxTemplate[20] = {0x00, 0x76, 0x78, 0x21, 0x1A, 0x07, 0x00, 0xCF, 0x90, 0x73,
                                        0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const unsigned char kZipTemplate[22] = {0x00, 0x4B, 0x05, 0x06};
const DWORD kTemplateRoom = 22;

// The template's whole bytes in `out` (kTemplateRoom); how many.
DWORD TemplateBytes(bool kvx, unsigned char* out) {
  const DWORD size = kvx ? sizeof kKvxTemplate : sizeof kZipTemplate;
  memcpy(out, kvx ? kKvxTemplate : kZipTemplate, size);
  out[0] = kvx ? 'K' : 'P';
  return size;
}

bool IsArchiverProgId(const char* text) {
  return CompareTextNoCase(text, kProgId) == 0 || CompareTextNoCase(text, kZipProgId) == 0;
}

void ShellNewKeyOf(const char* extension, char* out, int size) {
  CopyText(out, static_cast<size_t>(size), extension);
  AppendText(out, static_cast<size_t>(size), "\\ShellNew");
}

// ".k00" to ".k99".
void VolumeExtension(int number, char* out, size_t size) {
  const char name[5] = {'.', 'k', static_cast<char>('0' + number / 10 % 10), static_cast<char>('0' + number % 10), '\0'};
  CopyText(out, size, name);
}

void RecordPreviousOwner(const char* extension) {
  char setupKey[64], shellNewKey[64];
  SetupKeyOf(extension, setupKey, sizeof setupKey);
  // A setup stopped between making the extension's key and writing its default value leaves the key
  // empty: the owner it recorded first is the one to keep.
  if (OwnRegValueExists(setupKey, "Exist") && RegKeyIsEmpty(HKEY_CLASSES_ROOT, extension)) return;
  ShellNewKeyOf(extension, shellNewKey, sizeof shellNewKey);
  char type[512], content[512], fileName[kPathSize];
  ReadRegString(HKEY_CLASSES_ROOT, extension, "", type, sizeof type, "");
  ReadRegString(HKEY_CLASSES_ROOT, extension, "Content Type", content, sizeof content, "");
  ReadRegString(HKEY_CLASSES_ROOT, shellNewKey, "FileName", fileName, sizeof fileName, "");
  // Only the presence of "NullFile" matters: one that holds some text is still there.
  bool hasNullFile = RegValueExists(HKEY_CLASSES_ROOT, shellNewKey, "NullFile");
  WriteOwnRegDword(setupKey, "Exist", RegKeyExists(HKEY_CLASSES_ROOT, extension) ? 1 : 0);
  WriteOwnRegString(setupKey, "Type", type);
  WriteOwnRegString(setupKey, "Content", content);
  WriteOwnRegString(setupKey, "ShellNew", fileName[0] == '\0' && hasNullFile ? "*" : fileName);
}

void WriteTemplate(const char* extension, bool kvx) {
  char shellNewKey[64];
  ShellNewKeyOf(extension, shellNewKey, sizeof shellNewKey);
  DeleteRegKey(HKEY_CLASSES_ROOT, shellNewKey);
  unsigned char bytes[kTemplateRoom];
  const DWORD size = TemplateBytes(kvx, bytes);
  if (!IsNewerSystem()) {
    WriteRegBinary(HKEY_CLASSES_ROOT, shellNewKey, "Data", bytes, size);
    return;
  }
  char path[kPathSize];
  // The shell reads no template from a path beyond MAX_PATH.
  if (!PathBesideProgram(path, sizeof path, kvx ? KVX_KVX_TEMPLATE : KVX_ZIP_TEMPLATE) || strlen(path) >= MAX_PATH) {
    return;
  }
  // An existing template is the user's or the installer's: never rewritten.
  // No "New" entry naming a file that is not there.
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && !WriteWholeFile(path, bytes, size, false)) return;
  WriteRegString(HKEY_CLASSES_ROOT, shellNewKey, "FileName", path);
}

// Older systems got the template as bytes in ShellNew: on release they go too, or the former
// owner's "New" menu would go on making our archives. Only our exact bytes are removed, since a
// take-over without the shell integration leaves another program's "Data" in place; and only on
// those systems, since on newer ones we never write "Data", and the empty-ZIP record that another
// program may keep there is byte for byte ours.
void RemoveTemplateData(const char* shellNewKey, bool kvx) {
  if (IsNewerSystem()) return;
  unsigned char bytes[kTemplateRoom];
  const DWORD size = TemplateBytes(kvx, bytes);
  unsigned char stored[32];
  long got = ReadRegBinary(HKEY_CLASSES_ROOT, shellNewKey, "Data", stored, sizeof stored);
  if (got == static_cast<long>(size) && memcmp(stored, bytes, size) == 0) {
    DeleteRegValue(HKEY_CLASSES_ROOT, shellNewKey, "Data");
  }
}

const char* ProgIdOf(int position) { return position == kZipPosition ? kZipProgId : kProgId; }

void OpenWithKeyOf(const char* extension, char* out, int size) {
  CopyText(out, static_cast<size_t>(size), extension);
  AppendText(out, static_cast<size_t>(size), "\\OpenWithProgids");
}

// Since Windows 8 the user alone chooses a type's program; "Open with" offers every program listed
// here, whoever the default is. Ours goes whatever the extension now says, since it is ours alone; a
// key it leaves empty goes with it, also on a rerun while the extension is still ours (a removal
// stopped between the two).
void LeaveOpenWith(const char* extension, int position) {
  char key[64];
  OpenWithKeyOf(extension, key, sizeof key);
  bool listed = RegValueExists(HKEY_CLASSES_ROOT, key, ProgIdOf(position));
  if (listed) DeleteRegValue(HKEY_CLASSES_ROOT, key, ProgIdOf(position));
  if ((listed || IsOwnAssociation(extension)) && RegKeyIsEmpty(HKEY_CLASSES_ROOT, key)) {
    DeleteRegKey(HKEY_CLASSES_ROOT, key);
  }
}

void TakeOver(const char* extension, int position, bool shellExt) {
  bool kvx = position == kKvxPosition;
  bool zip = position == kZipPosition;
  // The first recorded owner survives repeated setups.
  if (!IsOwnAssociation(extension)) RecordPreviousOwner(extension);
  WriteRegString(HKEY_CLASSES_ROOT, extension, "", ProgIdOf(position));
  // After the default value: until then a rerun records the previous owner again, and must find the
  // extension's key as that owner left it.
  char openWith[64];
  OpenWithKeyOf(extension, openWith, sizeof openWith);
  WriteRegString(HKEY_CLASSES_ROOT, openWith, ProgIdOf(position), "");
  WriteRegString(HKEY_CLASSES_ROOT, extension, "Content Type", kvx ? kKvxContentType : kContentType);
  if (kvx) {
    int volumes = GetNtMajorVersion() != 0 ? kVolumesNt : kVolumes9x;
    for (int i = 0; i < volumes; ++i) {
      char volume[8];
      VolumeExtension(i, volume, sizeof volume);
      WriteRegString(HKEY_CLASSES_ROOT, volume, "", kProgId);
      WriteRegString(HKEY_CLASSES_ROOT, volume, "Content Type", kKvxContentType);
    }
  }
  if ((kvx || zip) && shellExt) WriteTemplate(extension, kvx);
}

// The previous owner recorded for an extension at its first take-over.
struct PreviousOwner {
  bool recorded;  // a take-over recorded it, and no removal has finished since
  DWORD existed;
  char type[512];
  char content[512];
};

void ReadPreviousOwner(const char* extension, PreviousOwner* owner) {
  char setupKey[64];
  SetupKeyOf(extension, setupKey, sizeof setupKey);
  owner->recorded = OwnRegValueExists(setupKey, "Exist");
  owner->existed = GetOwnRegDword(setupKey, "Exist", 1);
  ReadOwnRegString(setupKey, "Type", owner->type, sizeof owner->type, "");
  ReadOwnRegString(setupKey, "Content", owner->content, sizeof owner->content, "");
  if (IsArchiverProgId(owner->type)) owner->type[0] = '\0';  // never given back to ourselves
}

void Release(const char* extension, int position, const PreviousOwner& owner) {
  LeaveOpenWith(extension, position);
  if (!IsOwnAssociation(extension)) return;  // another program's, or nobody's: not ours to touch
  char setupKey[64], shellNewKey[64];
  SetupKeyOf(extension, setupKey, sizeof setupKey);
  ShellNewKeyOf(extension, shellNewKey, sizeof shellNewKey);
  if (owner.existed != 0) {
    // The default value last: until it changes the extension is ours, so a removal stopped before
    // then is finished by the next one.
    if (owner.content[0] != '\0') {
      WriteRegString(HKEY_CLASSES_ROOT, extension, "Content Type", owner.content);
    } else {
      DeleteRegValue(HKEY_CLASSES_ROOT, extension, "Content Type");
    }
    char shellNew[kPathSize];
    ReadOwnRegString(setupKey, "ShellNew", shellNew, sizeof shellNew, "");
    DeleteRegValue(HKEY_CLASSES_ROOT, shellNewKey, "FileName");
    if (position == kKvxPosition || position == kZipPosition) RemoveTemplateData(shellNewKey, position == kKvxPosition);
    if (shellNew[0] == '*') {
      WriteRegString(HKEY_CLASSES_ROOT, shellNewKey, "NullFile", "");
    } else if (shellNew[0] != '\0') {
      WriteRegString(HKEY_CLASSES_ROOT, shellNewKey, "FileName", shellNew);
    }
    WriteRegString(HKEY_CLASSES_ROOT, extension, "", owner.type);
    LogStep("given back: ", extension, " to ", owner.type[0] != '\0' ? owner.type : "no program");
  } else {
    DeleteRegKey(HKEY_CLASSES_ROOT, shellNewKey);
    DeleteRegKey(HKEY_CLASSES_ROOT, extension);
  }
}

// Every volume extension a setup on either family may have written that is still ours goes to the
// key extension's previous owner. Each is looked at on its own, whatever the key extension now
// says: a removal stopped half-way through them is finished by the next one.
void ReleaseVolumes(const PreviousOwner& owner) {
  for (int i = 0; i < kVolumes9x; ++i) {
    char volume[8];
    VolumeExtension(i, volume, sizeof volume);
    if (!IsOwnAssociation(volume)) continue;
    if (owner.existed != 0 && owner.type[0] != '\0') {
      if (owner.content[0] != '\0') WriteRegString(HKEY_CLASSES_ROOT, volume, "Content Type", owner.content);
      WriteRegString(HKEY_CLASSES_ROOT, volume, "", owner.type);
      LogStep("given back: ", volume, " to ", owner.type);
    } else {
      DeleteRegKey(HKEY_CLASSES_ROOT, volume);
    }
  }
}

// Default Programs (Windows Vista and later; older systems never read these keys): the archiver's
// capabilities, and the chosen extensions with their ProgIDs. Kept where the 64-bit shell reads
// them on 64-bit Windows.
const char kCapabilitiesKey[] = "Software\\Korvex\\Capabilities";
const char kFileAssociationsKey[] = "Software\\Korvex\\Capabilities\\FileAssociations";
const char kRegisteredApplicationsKey[] = "Software\\RegisteredApplications";

// One chosen extension's line, or none when not chosen.
void RegisterFileAssociation(const char* extension, int position, bool chosen) {
  const REGSAM native = NativeRegistryView();
  if (chosen) {
    WriteRegString(HKEY_LOCAL_MACHINE, kFileAssociationsKey, extension, ProgIdOf(position), native);
  } else {
    DeleteRegValue(HKEY_LOCAL_MACHINE, kFileAssociationsKey, extension, native);
  }
}

// The rest of it once the extensions are done; all of it goes when no type is chosen, unless
// another installation's types still name it (`othersKept`).
void ApplyApplicationRegistration(const IntegrationSettings* settings, bool othersKept) {
  const REGSAM native = NativeRegistryView();
  bool any = false;
  for (int position = 0; position < kArchiveTypeCount; ++position) any = any || settings->types[position] != 0;
  if (!any) {
    if (othersKept) return;
    DeleteRegValue(HKEY_LOCAL_MACHINE, kRegisteredApplicationsKey, kProgId, native);
    DeleteRegTree(HKEY_LOCAL_MACHINE, kCapabilitiesKey, native);
    // The archiver may keep values of its own there.
    if (RegKeyIsEmpty(HKEY_LOCAL_MACHINE, kOwnKey, native)) DeleteRegKey(HKEY_LOCAL_MACHINE, kOwnKey, native);
    return;
  }
  char text[kMessageSize];
  LoadMessageText(IDS_DISPLAY_NAME, text);
  WriteRegString(HKEY_LOCAL_MACHINE, kCapabilitiesKey, "ApplicationName", text, native);
  LoadMessageText(IDS_DESCRIPTION, text);
  WriteRegString(HKEY_LOCAL_MACHINE, kCapabilitiesKey, "ApplicationDescription", text, native);
  WriteRegString(HKEY_LOCAL_MACHINE, kRegisteredApplicationsKey, kProgId, kCapabilitiesKey, native);
}

// `progIdKept`, `zipProgIdKept`: the ProgID is another installation's, and so are the extensions
// that point at it: they stay as they are.
void ApplyKeeping(const IntegrationSettings* settings, bool progIdKept, bool zipProgIdKept) {
  for (int position = 0; position < kArchiveTypeCount; ++position) {
    if (position == kZipPosition ? zipProgIdKept : progIdKept) continue;
    const char* list = ArchiveTypeTable[position].extensions;
    while (*list != '\0') {
      char extension[16];
      list = NextExtension(list, extension, sizeof extension);
      RegisterFileAssociation(extension, position, settings->types[position] != 0);
      if (settings->types[position]) {
        TakeOver(extension, position, settings->ShellExt != 0);
        continue;
      }
      PreviousOwner owner;
      ReadPreviousOwner(extension, &owner);
      // The volumes first, and also when .kvx was given back already by a removal that was stopped
      // among its volumes; never when .kvx was never ours.
      if (position == kKvxPosition && (owner.recorded || IsOwnAssociation(extension))) ReleaseVolumes(owner);
      Release(extension, position, owner);
    }
  }
  ApplyApplicationRegistration(settings, progIdKept || zipProgIdKept);
}

}  // namespace

bool IsOwnAssociation(const char* extension) {
  char owner[80];
  ReadRegString(HKEY_CLASSES_ROOT, extension, "", owner, sizeof owner, "");
  return IsArchiverProgId(owner);
}

void ApplyAssociations(const IntegrationSettings* settings) { ApplyKeeping(settings, false, false); }

void ReleaseAssociations(bool progIdKept, bool zipProgIdKept) {
  ApplyKeeping(&kNothingChosen, progIdKept, zipProgIdKept);
}

bool IsAnotherInstallationsProgId(const char* progId) {
  char command[64];
  return CopyText(command, sizeof command, progId) && AppendText(command, sizeof command, "\\shell\\open\\command") &&
         RegNamesAnotherInstallation(HKEY_CLASSES_ROOT, command, "");
}

void RegisterProgIds() {
  char archiver[kPathSize];
  // The quoted path, a blank and the quoted placeholder: 1023 + 10 characters at most.
  char command[kPathSize + 16];
  char icon[kPathSize + 8];
  // Without the archiver's path a command would start nothing and the icon show none: the ProgIDs
  // get their names only.
  bool found = PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE) &&
               FormatOneString(command, sizeof command, "\"%s\" \"%%1\"", archiver) &&
               FormatOneString(icon, sizeof icon, "%s,0", archiver);
  char name[kMessageSize];
  LoadMessageText(IDS_TYPE_KORVEX, name);
  WriteRegString(HKEY_CLASSES_ROOT, kProgId, "", name);
  if (found) {
    WriteRegString(HKEY_CLASSES_ROOT, "Korvex\\shell\\open\\command", "", command);
    WriteRegString(HKEY_CLASSES_ROOT, "Korvex\\DefaultIcon", "", icon);
  }
  LoadMessageText(IDS_TYPE_KORVEX_ZIP, name);
  WriteRegString(HKEY_CLASSES_ROOT, kZipProgId, "", name);
  if (found) {
    WriteRegString(HKEY_CLASSES_ROOT, "Korvex.ZIP\\shell\\open\\command", "", command);
    WriteRegString(HKEY_CLASSES_ROOT, "Korvex.ZIP\\DefaultIcon", "", icon);
  }
}

void NotifyAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }
