// Applies the user's choices to the system: the registry in a fixed order, the links meanwhile.
#pragma once
#include <stddef.h>
#include <windows.h>

#include "platform/paths.h"
#include "setup/settings.h"

extern const char kAppPathKey[];  // under HKEY_LOCAL_MACHINE

// The registry's part: App Paths, shell extension, associations, ProgIDs, in this order.
void ApplyRegistry(const IntegrationSettings* settings);

// The registry's part, then the links (ApplyLinks). `groupFolder` (of `size` bytes; may be null)
// receives the program group's folder when one is made.
void ApplySetup(const IntegrationSettings* settings, char* groupFolder, size_t size);

// What a setup came to; also the setup dialog's result (EndDialog), where 0 is a dialog closed
// without confirming and -1 one that could not be shown.
enum class SetupStatus : INT_PTR {
  NotShown = -1,
  Cancelled = 0,
  Done = 1,
  Busy = 16,    // another setup or removal kept the turn: nothing was stored or applied
  Failed = 17,  // a registry write failed; the rest was done, and a rerun may finish it
};

// A confirmed setup, in one order: takes the turn (waiting up to kRunLockWait), stores the choices
// (`settings`, or when null the stored ones as they are once the turn is taken),
// writes the registry and the uninstall entry, waits for `desktopReady` when it is given (the links'
// objects open a window, and under Wine a window asked for while the desktop is starting starts a
// second desktop), then saves the links one after another. `groupFolder` as for ApplySetup.
SetupStatus CommitSetup(const IntegrationSettings* settings, HANDLE desktopReady, char* groupFolder, size_t size);

// The App Paths entry of "Korvex.exe", so the shell starts the archiver by its name alone.
void RegisterAppPath();
// The removal's part: the entry goes unless it names another installation's archiver. True when it stayed.
bool RemoveAppPath();

// A silent setup's commit of the stored choices, which are exactly what its dialog would confirm:
// CommitSetup on a thread of its own from before the dialogs exist, while the program waits for the
// desktop; the dialog then takes its result instead of committing again.
class EarlyCommit {
 public:
  EarlyCommit() = default;
  ~EarlyCommit() { Finish(); }
  EarlyCommit(const EarlyCommit&) = delete;
  EarlyCommit& operator=(const EarlyCommit&) = delete;

  // Commits on a thread, or here and now when no thread starts.
  void Start();
  // The desktop is there: the links may be saved.
  void DesktopReady();
  bool Started() const { return started_; }
  // Waits for the commit and gives its result.
  SetupStatus Finish();
  const char* GroupFolder() const { return groupFolder_; }

 private:
  static DWORD WINAPI Run(void* self);

  HANDLE thread_ = nullptr;
  HANDLE desktopReady_ = nullptr;
  bool started_ = false;
  SetupStatus result_ = SetupStatus::Cancelled;
  char groupFolder_[kPathSize] = "";
};
