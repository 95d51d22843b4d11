#include "setup/apply.h"

#include <windows.h>

#include "platform/companions.h"
#include "platform/installations.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/run_lock.h"
#include "platform/run_log.h"
#include "platform/text.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/shell_extension.h"
#include "setup/uninstall_entry.h"

const char kAppPathKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Korvex.exe";

void RegisterAppPath() {
  char archiver[kPathSize];
  char folder[kPathSize];
  if (!PathBesideProgram(archiver, sizeof archiver, KVX_ARCHIVER_EXE)) return;
  WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "", archiver);
  // The installation folder is the program's own, not the current folder: "Change" in the list of
  // programs starts the setup in the system's folder.
  if (FolderOfPath(folder, sizeof folder, archiver)) WriteRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", folder);
}

bool RemoveAppPath() {
  char archiver[kPathSize];
  char folder[kPathSize];
  bool named =
      ReadRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "", archiver, sizeof archiver, "") && archiver[0] != '\0';
  // Without the archiver's path, the archiver in the folder its setup was started in.
  if (!named) {
    named = ReadRegString(HKEY_LOCAL_MACHINE, kAppPathKey, "Path", folder, sizeof folder, "") &&
            JoinPath(archiver, sizeof archiver, folder, KVX_ARCHIVER_EXE);
  }
  if (named && NamesAnotherInstallation(archiver)) return true;
  DeleteRegKey(HKEY_LOCAL_MACHINE, kAppPathKey);
  return false;
}

void ApplyRegistry(const IntegrationSettings* settings) {
  RegisterAppPath();
  ApplyShellExtension(settings);
  ApplyAssociations(settings);
  RegisterProgIds();
  NotifyAssociationsChanged();  // the handlers and associations just written
}

// The links are saved while the registry is written: neither needs the other.
void ApplySetup(const IntegrationSettings* settings, char* groupFolder, size_t size) {
  LinkWork links;
  StartLinks(settings, groupFolder, size, &links);
  ApplyRegistry(settings);
  links.Finish();
}

// Whether no registry write failed since `failures` were counted; says so in the log.
static bool LogRegistryResult(long failures) {
  char count[12];
  FormatDecimal(count, sizeof count, static_cast<unsigned long>(RegistryWriteFailures() - failures));
  LogStep("registry and uninstall entry written; failed writes: ", count);
  return RegistryWriteFailures() == failures;
}

void EarlyCommit::Start() {
  started_ = true;
  desktopReady_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD id;
  thread_ = CreateThread(nullptr, 0, Run, this, 0, &id);
  if (thread_ == nullptr) {
    DesktopReady();
    Run(this);
  }
}

void EarlyCommit::DesktopReady() {
  if (desktopReady_ != nullptr) SetEvent(desktopReady_);
}

// What a confirmed dialog would do, in an order that leaves the desktop's start alone: the registry
// and the uninstall entry first, the links once the desktop is there. Saving a link gives its thread
// a COM window, and under Wine a window asked for while the desktop is still starting starts a second
// desktop process. The links are saved here, one after another: they are no longer waited for, and
// one thread with one window takes less from the dialogs being made meanwhile than a thread for each would.
DWORD WINAPI EarlyCommit::Run(void* self) {
  EarlyCommit* commit = static_cast<EarlyCommit*>(self);
  RunLock lock;
  if (!lock.Acquire(kRunLockWait)) {
    commit->result_ = kSetupBusy;
    return 0;
  }
  const long failures = RegistryWriteFailures();
  IntegrationSettings settings;
  LoadIntegrationSettings(&settings);
  StoreIntegrationSettings(&settings);
  ApplyRegistry(&settings);
  WriteUninstallEntry();
  LogRegistryResult(failures);
  if (commit->desktopReady_ != nullptr) WaitForSingleObject(commit->desktopReady_, INFINITE);
  LinkWork links(true);
  StartLinks(&settings, commit->groupFolder_, sizeof commit->groupFolder_, &links);
  commit->result_ = RegistryWriteFailures() == failures ? 1 : kSetupFailed;
  return 0;
}

long EarlyCommit::Finish() {
  DesktopReady();  // no one else may be left to say so
  if (thread_ != nullptr) {
    WaitForThread(thread_);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  if (desktopReady_ != nullptr) {
    CloseHandle(desktopReady_);
    desktopReady_ = nullptr;
  }
  return result_;
}

bool CommitSetup(const IntegrationSettings* settings, char* groupFolder, size_t size) {
  const long failures = RegistryWriteFailures();
  StoreIntegrationSettings(settings);
  ApplySetup(settings, groupFolder, size);
  WriteUninstallEntry();
  return LogRegistryResult(failures);
}
