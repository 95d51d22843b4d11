// The user's integration choices, the table of archive types and their storage under the own key.
#pragma once
#include <stddef.h>
#include <windows.h>

// The archiver's own key below HKEY_CURRENT_USER: the stored choices ("Setup"), and the file types'
// previous owners ("Setup\<ext>"), which a removal needs to give the types back.
extern const char kOwnKey[];

// The own key's values; `keyPath` is below kOwnKey ("" for the key itself). A path that does not fit
// is refused (a cut one would name another key): writes give ERROR_FILENAME_EXCED_RANGE, reads the
// default.
LONG WriteOwnRegString(const char* keyPath, const char* valueName, const char* text);
LONG WriteOwnRegDword(const char* keyPath, const char* valueName, DWORD number);
bool ReadOwnRegString(const char* keyPath, const char* valueName, char* out, size_t size, const char* defaultText);
DWORD GetOwnRegDword(const char* keyPath, const char* valueName, DWORD defaultNumber);
bool OwnRegValueExists(const char* keyPath, const char* valueName);

const int kArchiveTypeRoom = 20;  // flags the record has room for
const int kArchiveTypeCount = 11;
const int kKvxPosition = 0;
const int kZipPosition = 1;

struct ArchiveType {
  int checkBoxId;          // in the setup dialog
  const char* extensions;  // ".gz.tgz": each with its dot, no separator
  const char* keyExtension;
};

extern const ArchiveType ArchiveTypeTable[kArchiveTypeCount];

// One byte per flag, 0 or 1.
struct IntegrationSettings {
  unsigned char types[kArchiveTypeRoom];
  unsigned char Desktop;
  unsigned char StartMenu;
  unsigned char Programs;
  unsigned char ShellExt;
  unsigned char CascadedMenu;
  unsigned char MenuIcons;
};

// Every choice off: what the removal hands each area so that it takes everything back.
extern const IntegrationSettings kNothingChosen;

// "Setup\<ext>": the own-key path of a type's choice and of an extension's previous owner.
void SetupKeyOf(const char* extension, char* out, size_t size);

void LoadIntegrationSettings(IntegrationSettings* settings);
void StoreIntegrationSettings(const IntegrationSettings* settings);

// Splits an extension list: copies the extension that starts at `list` into `out` and returns where
// the next one starts (at the NUL after the last).
const char* NextExtension(const char* list, char* out, size_t size);
