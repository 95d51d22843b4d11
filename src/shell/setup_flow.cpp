#include "shell/setup_flow.h"

#include <windows.h>

#include "lang/language.h"
#include "platform/text.h"
#include "setup/setup_dialog.h"
#include "shell/done_dialog.h"

SetupStatus RunSetupFlow(EarlyCommit* early) {
  SetupOutcome outcome;
  outcome.early = early;
  outcome.groupFolder[0] = '\0';
  // A language library without one of the templates does not skip that step: the program's own
  // template is shown instead (translated as usual).
  SetupStatus status = static_cast<SetupStatus>(DialogBoxParamA(
      DialogTemplateModule("SETUPDLG"), "SETUPDLG", nullptr, SetupDlgProc, reinterpret_cast<LPARAM>(&outcome)));
  // A dialog closed without confirming, or never shown, applied nothing. A commit started early is
  // waited for whatever became of the dialog.
  if (early != nullptr && early->Started() && status != SetupStatus::Cancelled) {
    status = early->Finish();
    CopyText(outcome.groupFolder, sizeof outcome.groupFolder, early->GroupFolder());
  }
  // A setup that could not get its turn, or could not write everything (the user was told), is
  // not reported as done.
  if (status != SetupStatus::Done) return status;
  DialogBoxParamA(DialogTemplateModule("DONEDLG"), "DONEDLG", nullptr, DoneDlgProc, 0);
  if (outcome.groupFolder[0] != '\0') {
    ShellExecuteA(nullptr, "open", outcome.groupFolder, nullptr, "", SW_SHOWNORMAL);
  }
  return status;
}
