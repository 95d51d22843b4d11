#pragma once

// Takes back everything the setup put into the registry and the shell, without asking: the
// associations, the shell extension, the links, the ProgIDs, the App Paths entry and the own key,
// then the uninstall entry. What names another installation of the archiver stays (each area says
// what goes with it), and so does the own key while one does.
void CleanRegistry();

// CleanRegistry without the uninstall entry: the removal keeps the entry until its batch file runs,
// so that a removal stopped half-way can be started again from the list of installed programs.
void CleanIntegration();
