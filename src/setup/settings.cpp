#include "setup/settings.h"

#include "platform/registry.h"
#include "platform/text.h"
#include "resources/resource.h"

const ArchiveType ArchiveTypeTable[kArchiveTypeCount] = {
    {IDC_TYPE_KVX, ".kvx", ".kvx"},
    {IDC_TYPE_ZIP, ".zip", ".zip"},
    {IDC_TYPE_CAB, ".cab", ".cab"},
    {IDC_TYPE_ARJ, ".arj", ".arj"},
    {IDC_TYPE_LZH, ".lzh.lha", ".lzh"},
    {IDC_TYPE_ACE, ".ace", ".ace"},
    {IDC_TYPE_TAR, ".tar", ".tar"},
    {IDC_TYPE_GZIP, ".gz.tgz", ".gz"},
    {IDC_TYPE_UUE, ".uue.xxe.uu", ".uue"},
    {IDC_TYPE_BZ2, ".bz2.tbz2.bz.tbz", ".bz2"},
    {IDC_TYPE_JAR, ".jar", ".jar"},
};

const char kOwnKey[] = "Software\\Korvex";

namespace {

const int kOwnPathSize = 128;  // the own key and the longest "Setup\<ext>"

bool OwnPath(char* out, size_t size, const char* keyPath) {
  return CopyText(out, size, kOwnKey) && (keyPath[0] == '\0' || (AppendText(out, size, "\\") &&
                                                                  AppendText(out, size, keyPath)));
}

}  // namespace

LONG WriteOwnRegString(const char* keyPath, const char* valueName, const char* text) {
  char path[kOwnPathSize];
  return OwnPath(path, sizeof path, keyPath) ? WriteRegString(HKEY_CURRENT_USER, path, valueName, text)
                                             : ERROR_FILENAME_EXCED_RANGE;
}

LONG WriteOwnRegDword(const char* keyPath, const char* valueName, DWORD number) {
  char path[kOwnPathSize];
  return OwnPath(path, sizeof path, keyPath) ? WriteRegDword(HKEY_CURRENT_USER, path, valueName, number)
                                             : ERROR_FILENAME_EXCED_RANGE;
}

bool ReadOwnRegString(const char* keyPath, const char* valueName, char* out, size_t size, const char* defaultText) {
  char path[kOwnPathSize];
  if (OwnPath(path, sizeof path, keyPath)) return ReadRegString(HKEY_CURRENT_USER, path, valueName, out, size, defaultText);
  CopyText(out, size, defaultText);
  return false;
}

DWORD GetOwnRegDword(const char* keyPath, const char* valueName, DWORD defaultNumber) {
  char path[kOwnPathSize];
  return OwnPath(path, sizeof path, keyPath) ? GetRegDword(HKEY_CURRENT_USER, path, valueName, defaultNumber)
                                             : defaultNumber;
}

bool OwnRegValueExists(const char* keyPath, const char* valueName) {
  char path[kOwnPathSize];
  return OwnPath(path, sizeof path, keyPath) && RegValueExists(HKEY_CURRENT_USER, path, valueName);
}

static const char kLinksKey[] = "Setup\\Links";
static const char kSetupKey[] = "Setup";

const char* NextExtension(const char* list, char* out, size_t size) {
  const char* end = list;
  if (*end != '\0') ++end;  // the extension's own dot
  while (*end != '\0' && *end != '.') ++end;
  size_t n = static_cast<size_t>(end - list);
  if (n > size - 1) n = size - 1;
  for (size_t i = 0; i < n; ++i) out[i] = list[i];
  out[n] = '\0';
  return end;
}

const IntegrationSettings kNothingChosen = {};

void SetupKeyOf(const char* extension, char* out, size_t size) {
  CopyText(out, size, "Setup\\");
  AppendText(out, size, extension);
}

static void TypeKey(int position, char* out, size_t size) {
  SetupKeyOf(ArchiveTypeTable[position].keyExtension, out, size);
}

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
