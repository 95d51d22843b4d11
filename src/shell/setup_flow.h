// The setup flow: the setup dialog, then, when it was confirmed, the completion dialog and the
// program group's folder.
#pragma once
#include "setup/apply.h"

// What the setup came to. `early`: a silent setup's commit already under way, or null.
SetupStatus RunSetupFlow(EarlyCommit* early);
