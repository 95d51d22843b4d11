// Other installations of the archiver: a copy set up in another folder (a move, say: the new copy
// set up, then the old one removed) owns the registrations that name its folder, and the removal of
// this copy must leave them to that copy's own removal.
#pragma once
#include <windows.h>

// Whether `text`, a path or a command line that starts with one (quoted or not, arguments such as
// "%1" after it), names a file of another installation: an existing file in a folder other than the
// running program's (compared ignoring case, and in short 8.3 form). A file that is gone is a stale
// leftover of a copy deleted by hand, and a text naming nothing is taken for ours: both are this
// removal's to take.
bool NamesAnotherInstallation(const char* text);

// The same for a string value of the registry; a missing, empty or unreadable value is ours.
bool RegNamesAnotherInstallation(HKEY root, const char* keyPath, const char* valueName);
