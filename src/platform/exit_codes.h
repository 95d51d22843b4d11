// Exit codes that deployment tools read. Interactive runs end with 0; only silent runs ("/s") report.
#pragma once

const int kExitDone = 0;
const int kExitListMissing = 2;          // the list of installed files cannot be read: nothing changed
const int kExitUnfinished = 1603;        // could not finish: own path too long, batch file not written or
                                         // not started, the restart step failed, a listed file left
                                         // over, a setup's registry write failed (ERROR_INSTALL_FAILURE);
                                         // or, nothing changed, a path the ANSI code page cannot name
const int kExitAlreadyRunning = 1618;    // another setup or removal is running (ERROR_INSTALL_ALREADY_RUNNING)
const int kExitRestartNeeded = 3010;     // removed; some files go at the next restart (ERROR_SUCCESS_REBOOT_REQUIRED)
