#pragma once

// Takes back everything the setup put into the registry and the shell, without asking: the
// associations, the shell extension, the links, the ProgIDs, the App Paths entry and the own key.
// What names another installation of the archiver stays (each area says what goes with it), and so
// does the own key while one does. The uninstall entry stays: the removal keeps it until its batch
// file runs, so that a removal stopped half-way can be started again from the list of programs.
void CleanIntegration();
