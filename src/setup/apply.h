// Applies the user's choices to the system: the registry in a fixed order, the links meanwhile.
#pragma once
#include <stddef.h>
#include <windows.h>

#include "platform/paths.h"
#include "setup/settings.h"

extern const char kAppPathKey[];  // under HKEY_LOCAL_MACHINE

// The registry's part: App Paths, shell extension, associations, ProgIDs, in this order.
void ApplyRegistry(const IntegrationSettings* settings);

// `groupFolder` (of `size` bytes; may be null) receives the program group's folder when one is made.
void ApplySetup(const IntegrationSettings* settings, char* groupFolder, size_t size);

// A confirmed setup: stores the choices, applies them and records the archiver in the system's
// list of installed programs. False when a registry write failed.
bool CommitSetup(const IntegrationSettings* settings, char* groupFolder, size_t size);

// The App Paths entry of "Korvex.exe", so the shell starts the archiver by its name alone.
void RegisterAppPath();
// The removal's part: the entry goes unless it names another installation's archiver. True when it stayed.
bool RemoveAppPath();

// A setup's result when it could not get its turn (another setup or removal kept the machine-wide
// lock): nothing was stored or applied.
const long kSetupBusy = 2;
// A setup's result when some registry write failed: the rest was done, and a rerun may finish it.
const long kSetupFailed = 3;

// A silent setup's commit of the stored choices, which are exactly what its dialog would confirm.
// It runs on a thread of its own from before the dialogs exist, while the program waits for the
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
  // Waits for the commit: 1 when it was done, kSetupBusy when it could not get its turn,
  // kSetupFailed when a registry write failed.
  long Finish();
  const char* GroupFolder() const { return groupFolder_; }

 private:
  static DWORD WINAPI Run(void* self);

  HANDLE thread_ = nullptr;
  HANDLE desktopReady_ = nullptr;
  bool started_ = false;
  long result_ = 0;
  char groupFolder_[kPathSize] = "";
};
