// Shell links to the archiver: desktop, start menu and the program group (also for all users on
// the NT family).
#pragma once
#include "setup/settings.h"

// Makes or removes each place as its flag says; when the program group is made and `groupPathOut`
// (1024 bytes) is not null, it receives the current user's group folder.
void ApplyLinks(const IntegrationSettings* settings, char* groupPathOut);

bool CreateShellLink(const char* target, const char* linkFile, const char* description);
bool GetDesktopFolder(char* path, int size);
// `path` must have room for one more byte after its terminator (the shell wants a double NUL).
bool DeleteFolderTree(char* path, int size);
