#pragma once

// Writes the batch file that deletes the program and its folder once this process has ended, and
// starts it through the command interpreter. True when the interpreter was started: the caller then
// ends the process at once. The current directory must be the installation folder `folder`; it is
// left at the folder's parent, so that neither process holds the folder.
bool StartSelfDeletion(const char* program, const char* folder, bool silent);

// Whether the folder the batch file would go to can be named by the ANSI functions (a temporary
// folder may not be): asked before the removal changes anything.
bool BatchFolderNamable();

// "/wait": the batch file's first step, so that the removal's process has ended before its file is
// deleted. The removal names its process to the interpreter; run any other way this sleeps two
// seconds. True when the removal that started the batch file has ended.
bool WaitForRemovalToEnd();
