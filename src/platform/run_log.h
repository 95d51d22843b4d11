// The run log: a line with a timestamp for each step of a run, for the administrators of machines
// where the program runs silently. Written by silent runs and by any run given "/log"; appended to one
// file per installation, kept to a bounded size. Writing it never shows a window, never goes through
// a file or link put at its path by someone else, and never makes a run fail: a log that cannot be
// written is skipped.
#pragma once

// Opens the log at `path`, or when it is empty as `defaultName` at the default place: beside the
// batch file (the Windows folder's Temp when elevated on Windows Vista and later, else the temporary
// folder).
void OpenRunLog(const char* path, const char* defaultName);

// The open log's full path, empty when none is open.
const char* RunLogPath();

// One line: the texts one after another. Nothing when no log is open. Safe from any thread.
void LogStep(const char* a, const char* b = "", const char* c = "", const char* d = "");

// "what: error N: the system's text".
void LogError(const char* what, unsigned long error);

// The last line of a run: its exit code and what that means. Closes the log.
void LogExitAndClose(int exitCode);
