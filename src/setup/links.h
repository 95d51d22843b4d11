// Shell links to the archiver: desktop, start menu and the program group (also for all users on
// the NT family).
#pragma once
#include <stddef.h>
#include <windows.h>

#include "platform/paths.h"
#include "setup/settings.h"

// Makes or removes each place as its flag says, the links saved one after another; when the program
// group is made and `groupFolder` (of `size` bytes) is not null, it receives the current user's group
// folder.
void ApplyLinks(const IntegrationSettings* settings, char* groupFolder, size_t size);

// The removal's part: every place emptied, except a link that starts another installation's file
// (platform/installations) and a program group holding one, which stay. True when one stayed.
bool RemoveLinks();

bool CreateShellLink(const char* target, const char* linkFile, const char* description);
// The path a link starts (`size` at least MAX_PATH); false when it cannot be read or names none.
bool ReadShellLinkTarget(const char* linkFile, char* target, size_t size);
bool GetDesktopFolder(char* path, size_t size);
