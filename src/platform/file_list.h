// The list of installed files, "Uninstall.lst": one entry per line, relative to the installation
// folder. Pure: no <windows.h>.
#pragma once
#include <stddef.h>

const long kListLineSize = 2048;  // a line and its line feed fit in 2047 characters

// The next entry of the list text between `*cursor` and `end`, split off in place: the line end is
// replaced by a terminator (so `*end` must be writable), trailing carriage returns, line feeds,
// blanks and tabs are dropped, leading blanks are kept. Empty lines are skipped, and so are lines
// longer than a line may be: a cut line would name another file. Null at the end of the text.
char* NextListEntry(char** cursor, char* end);

// How the list's text is written, told by its byte-order mark; `*markSize` gets the mark's length.
// Without a mark the text is ANSI.
enum class ListEncoding { Ansi, Utf8, Utf16Le, Utf16Be };
ListEncoding ListTextEncoding(const char* text, unsigned long size, unsigned long* markSize);

// "Uninstall.lst" of `folder`, read whole and ended by a terminator, on the process heap (freed
// with HeapFree); `listPath` (of `pathSize` bytes) receives its path and `size` its length. Null
// when it cannot be read. A list in UTF-8 or UTF-16 (with its mark) is read in the ANSI code page
// when every character converts to it and back unchanged, and is unreadable otherwise: a name the
// code page cannot hold would name some other file. Windows only (platform/file_list_win.cpp).
char* ReadFileList(const char* folder, char* listPath, size_t pathSize, unsigned long* size);
