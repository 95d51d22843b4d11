// The user's integration choices, the table of archive types and their storage under the own key.
#pragma once
#include <stddef.h>

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
