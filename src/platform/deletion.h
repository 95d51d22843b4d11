// Deleting without ever going through a link. A link (a junction or a symbolic link) may point
// anywhere, system files included, and the removal often runs elevated for a user who may write
// the folders it deletes. The system's own deletion never follows a link on Windows; Wine's follows
// a symbolic link to a file, which it reports as a plain file, so the path the system really opens
// is asked for as well where the system can tell it (Windows Vista and later, and Wine).
#pragma once
#include <stddef.h>

#include "platform/paths.h"

// Whether the attributes are those of a link, or of nothing at all (INVALID_FILE_ATTRIBUTES has the
// link's bit set as well): either way there is nothing to delete behind it.
bool IsLinkOrMissing(unsigned long attributes);

// The path the system opens for `path` (a final link not followed where the system allows it), as
// the system spells it, without "\\?\". False where the system cannot tell, or `path` cannot be opened.
bool GetOpenedPath(const char* path, char* out, size_t size);

// Whether `path` is `folder` or lies below it, the case aside.
bool IsSameOrInside(const char* path, const char* folder);

// Whether the file at `path` is opened where `openedFolder` (GetOpenedPath of its folder, or empty
// where the system cannot tell) says: false when a link put in its place leads elsewhere.
bool LeadsInside(const char* path, const char* openedFolder);

// The name the system gives an open folder in its own namespace ("\\Device\\..." on Windows), for
// DeleteFileInside. `length` is 0 where the system cannot tell (the 9x family, or no such folder).
struct ObjectName {
  int length;  // characters
  wchar_t text[kPathSize + 64];
};
void GetFolderObjectName(const char* path, ObjectName* out);

// Deletes the file at `path` through the one handle that asks where it opens, when that is inside
// `folder` (GetFolderObjectName) and nothing stands in the way. NotDone leaves every other case
// (a folder, a read-only file, one opened elsewhere, a system that cannot tell) to the caller,
// with nothing changed.
enum class QuickDeletion { Deleted, Gone, NotDone };
QuickDeletion DeleteFileInside(const char* path, const ObjectName& folder);

// Removes the link at `path` itself, never its target. False when the system would follow it; the
// link then stays.
bool DeleteLinkItself(const char* path);

// Deletes the folder `path` with everything in it; a link inside, or the folder itself when it is
// one, is removed as a link, never followed. Read-only files go as well. True when the folder is gone.
bool DeleteFolderTree(const char* path);
