#include "shell/setup_flow.h"

#include <windows.h>

#include "lang/language.h"
#include "platform/text.h"
#include "setup/setup_dialog.h"
#include "shell/done_dialog.h"

long RunSetupFlow(EarlyCommit* early) {
  SetupOutcome outcome;
  outcome.early = early;
  outcome.groupFolder[0] = '\0';
  // A language library without one of the templates does not skip that step: the program's own
  // template is shown instead (translated as usual).
  INT_PTR confirmed = DialogBoxParamA(DialogTemplateModule("SETUPDLG"), "SETUPDLG", nullptr, SetupDlgProc,
                                      reinterpret_cast<LPARAM>(&outcome));
  // 0 is a cancelled setup; -1 means the dialog could not even be created. Either way nothing was
  // stored or applied, so there is nothing to report as installed.
  // A commit started early is waited for whatever became of the dialog.
  if (early != nullptr && early->Started() && confirmed != 0) {
    confirmed = early->Finish();
    CopyText(outcome.groupFolder, sizeof outcome.groupFolder, early->GroupFolder());
  }
  // A setup that could not get its turn, or could not write everything (the user was told), is
  // not reported as done.
  if (confirmed <= 0 || confirmed == kSetupBusy || confirmed == kSetupFailed) return static_cast<long>(confirmed);
  DialogBoxParamA(DialogTemplateModule("DONEDLG"), "DONEDLG", nullptr, DoneDlgProc, 0);
  if (outcome.groupFolder[0] != '\0') {
    ShellExecuteA(nullptr, "open", outcome.groupFolder, nullptr, "", SW_SHOWNORMAL);
  }
  return static_cast<long>(confirmed);
}
