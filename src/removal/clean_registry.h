#pragma once

// Takes back everything the setup put into the registry and the shell, without asking: the
// associations, the shell extension, the links, the ProgIDs, the uninstall and App Paths entries
// and the own key.
void CleanRegistry();
