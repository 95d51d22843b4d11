#include "setup/settings.h"

#include "platform/registry.h"
#include "platform/text.h"

const ArchiveType ArchiveTypeTable[kArchiveTypeCount] = {
    {5101, "&KVX", ".kvx", ".kvx"},
    {5102, "&ZIP", ".zip", ".zip"},
    {5103, "CAB", ".cab", ".cab"},
    {5104, "ARJ", ".arj", ".arj"},
    {5105, "LZH", ".lzh.lha", ".lzh"},
    {5106, "ACE", ".ace", ".ace"},
    {5107, "TAR", ".tar", ".tar"},
    {5108, "GZip", ".gz.tgz", ".gz"},
    {5109, "UUE", ".uue.xxe.uu", ".uue"},
    {5110, "BZ2", ".bz2.tbz2.bz.tbz", ".bz2"},
    {5111, "JAR", ".jar", ".jar"},
};

static const char kLinksKey[] = "Setup\\Links";
static const char kSetupKey[] = "Setup";

const char* NextExtension(const char* list, char* out, int size) {
  const char* end = list;
  if (*end != '\0') ++end;  // the extension's own dot
  while (*end != '\0' && *end != '.') ++end;
  int n = static_cast<int>(end - list);
  if (n > size - 1) n = size - 1;
  for (int i = 0; i < n; ++i) out[i] = list[i];
  out[n] = '\0';
  return end;
}

const IntegrationSettings kNothingChosen = {};

void SetupKeyOf(const char* extension, char* out, int size) {
  CopyText(out, static_cast<size_t>(size), "Setup\\");
  AppendText(out, static_cast<size_t>(size), extension);
}

static void TypeKey(int position, char* out, int size) { SetupKeyOf(ArchiveTypeTable[position].keyExtension, out, size); }

static unsigned char Flag(DWORD number) { return number != 0 ? 1 : 0; }

void LoadIntegrationSettings(IntegrationSettings* settings) {
  for (int i = 0; i < kArchiveTypeRoom; ++i) settings->types[i] = 0;
  for (int i = 0; i < kArchiveTypeCount; ++i) {
    char key[32];
    TypeKey(i, key, sizeof key);
    settings->types[i] = Flag(GetOwnRegDword(key, "Set", 1));
  }
  settings->Desktop = Flag(GetOwnRegDword(kLinksKey, "Desktop", 0));
  settings->StartMenu = Flag(GetOwnRegDword(kLinksKey, "StartMenu", 0));
  settings->Programs = Flag(GetOwnRegDword(kLinksKey, "Programs", 1));
  settings->ShellExt = Flag(GetOwnRegDword(kSetupKey, "ShellExt", 1));
  settings->CascadedMenu = Flag(GetOwnRegDword(kSetupKey, "CascadedMenu", 0));
  settings->MenuIcons = Flag(GetOwnRegDword(kSetupKey, "MenuIcons", 1));
}

void StoreIntegrationSettings(const IntegrationSettings* settings) {
  for (int i = 0; i < kArchiveTypeCount; ++i) {
    char key[32];
    TypeKey(i, key, sizeof key);
    WriteOwnRegDword(key, "Set", Flag(settings->types[i]));
  }
  WriteOwnRegDword(kLinksKey, "Desktop", Flag(settings->Desktop));
  WriteOwnRegDword(kLinksKey, "StartMenu", Flag(settings->StartMenu));
  WriteOwnRegDword(kLinksKey, "Programs", Flag(settings->Programs));
  WriteOwnRegDword(kSetupKey, "ShellExt", Flag(settings->ShellExt));
  WriteOwnRegDword(kSetupKey, "CascadedMenu", Flag(settings->CascadedMenu));
  WriteOwnRegDword(kSetupKey, "MenuIcons", Flag(settings->MenuIcons));
}
