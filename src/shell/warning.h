#pragma once

// Room for message 5105, a line feed and message 5106 with a whole program path in it: the path is
// never cut, however deep the installation folder.
#include "platform/paths.h"

const int kWarningTextSize = 256 + 1 + 256 + kPathSize;

// Composes the "/warning" text: `first`, a line feed, `second` with `path` for its "%s".
void ComposeWarningText(char* dst, size_t size, const char* first, const char* second, const char* path);

// The "/warning" box: the program file could not be deleted by the removal.
void ShowRemovalWarning();
