#pragma once

extern const char kUninstallKey[];

// Records the archiver in the system's list of installed programs, pointing at this program.
void WriteUninstallEntry();

// Starts measuring the listed files' size on a thread, for the entry's EstimatedSize: a look at each
// listed file costs microseconds under Wine (half a second for 100,000 entries), and a silent
// setup's dialogs wait for the desktop meanwhile. WriteUninstallEntry takes the result; without a
// start it measures then.
void StartMeasuringListedSize();

// Takes the archiver off that list: one key, whatever else someone added below it stays.
void DeleteUninstallEntry();
