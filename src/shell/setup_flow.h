// The setup flow: the setup dialog, then, when it was confirmed, the completion dialog and the
// program group's folder.
#pragma once
#include "setup/apply.h"

// Returns the setup dialog's result (1 confirmed, 0 cancelled, -1 not shown, kSetupBusy). `early`: a
// silent setup's commit already under way, or null.
long RunSetupFlow(EarlyCommit* early);
