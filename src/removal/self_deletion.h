#pragma once

// Writes the batch file that deletes the program and its folder once this process has ended,
// starts it and ends the process. Returns only when the batch file could not be written. The
// current directory must be the installation folder `folder`.
void StartSelfDeletion(const char* program, const char* folder, bool silent);

// "/wait": the batch file's first step, so that the removal's process has ended before its file is
// deleted. Returns as soon as that process has ended, and after two seconds at the most; run by
// hand, it sleeps the two seconds.
void WaitForRemovalToEnd();
