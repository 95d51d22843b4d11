// The setup flow: the setup dialog, then, when it was confirmed, the completion dialog and the
// program group's folder.
#pragma once

// Returns the setup dialog's result (1 confirmed, 0 cancelled, -1 not shown, kSetupBusy).
long RunSetupFlow();
