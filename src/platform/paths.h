// Paths: the program's own, a file beside it, the system's folders, and a folder joined with a
// name. One policy: a path that does not fit its buffer is refused (the output is left empty),
// never cut, since a cut path names some other file. Every output comes with its size in bytes.
#pragma once
#include <stddef.h>

const int kPathSize = 1024;  // a path buffer, its terminator included

// `folder` and `name` with exactly one "\" between them: "C:\" + "a" and "C:\x" + "a" give
// "C:\a" and "C:\x\a". An empty folder gives the name alone.
bool JoinPath(char* out, size_t size, const char* folder, const char* name);

// Whether an entry of the list of installed files stays inside the folder it is joined to: not
// empty, relative (no leading "\\" or "//", no drive letter or other ":"), and no element made of
// dots and blanks alone with two dots or more (the system drops trailing dots and blanks), and no
// element that names a device (CON, com1.txt...): the system opens the device, not a file.
bool IsEntryInsideFolder(const char* entry);
// Why IsEntryInsideFolder refuses an entry ("leads out of the folder", "names a device"...), or null.
const char* EntryRefusal(const char* entry);

// Whether a path names the root of a drive or of a share ("C:\", "C:", "\\?\C:\", and "\\server\share"
// with backslashes, as the system writes it), or nothing at all. The removal never deletes one,
// whatever its list or its own folder say.
bool IsRootPath(const char* path);

// Whether a text can name one file in a folder: not empty, no path separator or drive, none of
// the reserved characters * ? " < > | and no control character, and not made of dots and blanks
// only ("." and ".." name folders).
bool IsPlainFileName(const char* name);

// The folder of a full path with its final "\" ("C:\x\prog.exe" gives "C:\x", "C:\prog.exe" gives
// "C:\"). False when the path holds no "\".
bool FolderOfPath(char* out, size_t size, const char* path);

// Writes `size` bytes as the whole file `path`: over an existing one (`replace`) or only as a new
// file. A file that could not be written whole is deleted again. True when it was.
bool WriteWholeFile(const char* path, const void* data, unsigned long size, bool replace);

// The running program's full path; false, and empty, when it does not fit. On the NT family this
// path and the temporary folder are ones the ANSI functions name exactly: the path itself when it
// survives the ANSI code page, else its folder's short (8.3) form with the name kept when that does;
// else none (false, and empty).
bool GetProgramPath(char* path, size_t size);
// A companion file: the program's path with its file name replaced by `name`.
bool PathBesideProgram(char* out, size_t size, const char* name);

// The Windows folder, the folder for temporary files (with its final "\"), and the short form of an
// existing path; false, and empty, when the system gives none or it does not fit.
bool GetWindowsFolder(char* out, size_t size);
bool GetSystemFolder(char* out, size_t size);
bool GetTempFolder(char* out, size_t size);
bool GetShortPath(char* out, size_t size, const char* path);
// An environment variable's whole value; false, and empty, when it is not set or does not fit.
bool GetEnvironmentText(char* out, size_t size, const char* name);

// A path as a command line's program name: quoted when it holds a blank or a tab, so that
// "C:\Program Files\x.exe" cannot start "C:\Program.exe". `size` of kPathSize + 2 always fits.
bool QuoteCommandPath(char* out, size_t size, const char* path);
