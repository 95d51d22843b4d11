// The text of the self-deleting batch file. Pure: no <windows.h>.
#pragma once
#include <stddef.h>

const int kBatchAttempts = 5;

// The batch file's text for `program` (the full path), `folder` (the installation folder) and
// `batch` (the batch file's own path): the program run with "/wait" (through "start /wait" on the
// 9x family), five attempts to delete the program (then the list of installed files, once the
// program is gone) and remove the folder, the "/warning" run when
// the program is still there ("/warning /s" when `silent`), and the batch deleting itself. Both runs
// of the program get "/log=" and the path when `log` is not empty, so that they write the same log. Lines
// end in CR LF, the last one without. Every "%" of a path is doubled, since the command
// interpreter expands "%" even inside quotes. Returns the length, or -1 when it does not fit
// `size` bytes (with its terminator).
long ComposeSelfDeletionBatch(char* out, size_t size, bool ntFamily, const char* program, const char* folder,
                              const char* batch, bool silent, const char* log = "");

// The interpreter's command line that runs the batch file at `batch`: `interpreter`, quoted when it
// holds a blank, then for cmd.exe "/d" (no AutoRun command of the user's) and "/c" with the batch
// path in two pairs of quotes: cmd drops the outer pair and keeps the path whole, "&", "^" and
// parentheses included; for another interpreter (COMMAND.COM) "/c" and the path in one pair. The
// "%" signs stay as they are (on a command line "%%" is no escape). False when the line does not
// fit `size` bytes with its terminator.
bool ComposeInterpreterCommand(char* out, size_t size, const char* interpreter, const char* batch);

// The batch file's name for the program at `program`: "Uninstall.Kvx.XXXXXXXX.Bat", the hex digits a
// CRC-32 of the path plus `attempt`, so that removals of two installations never share a file and a
// rerun of one replaces the file of an earlier run. `out` holds 28 bytes.
void BatchFileName(char out[28], const char* program, unsigned attempt);

// The run log's default name for the program at `program`: "Uninstall.Kvx.XXXXXXXX.log", with the
// digits of the batch file's first name, so that each installation has a log of its own.
void LogFileName(char out[28], const char* program);
