#pragma once

extern const char kUninstallKey[];

// Records the archiver in the system's list of installed programs, pointing at this program.
void WriteUninstallEntry();

// Takes the archiver off that list: one key, whatever else someone added below it stays. An entry
// that starts another installation's program is that installation's, and stays.
void DeleteUninstallEntry();
bool IsAnotherInstallationsUninstallEntry();
