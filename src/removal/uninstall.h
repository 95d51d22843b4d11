#pragma once

// The removal, started without options by the system's list of installed programs, or by
// "/remove" (silent with a final "/s": no box at all). One setup or removal runs at a time. Ends
// the process once the self-deleting batch file is started; returns when it is not: the user
// declined, another run kept the turn, the list could not be read or the removal could not finish.
// Interactive runs return 0; silent ones one of the exit codes of platform/exit_codes.h, the same
// that the process ends with.
int UninstallArchiver(bool silent);

// "/wait" after the removal that started the batch file has ended: when it was stopped before its
// last steps (the list still there), they are done here.
void FinishInterruptedRemoval();

// "/warning": the batch file could not delete the program, so no rerun will finish the removal;
// the list of installed files goes, so that the folder is empty once the program is.
void DeleteFileList();

// "/warning /s": the program file that the batch file could not delete goes at the next restart,
// with its folder, instead of the box.
void DeleteProgramAtRestart();
