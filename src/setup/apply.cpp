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

void ApplySetup(const IntegrationSettings* settings, char* groupFolder, size_t size) {
  ApplyRegistry(settings);
  ApplyLinks(settings, groupFolder, size);
}

SetupStatus CommitSetup(const IntegrationSettings* settings, HANDLE desktopReady, char* groupFolder, size_t size) {
  RunLock lock;
  if (!lock.Acquire(kRunLockWait)) return SetupStatus::Busy;
  IntegrationSettings stored;
  if (settings == nullptr) {
    LoadIntegrationSettings(&stored);
    settings = &stored;
  }
  const long failures = RegistryWriteFailures();
  StoreIntegrationSettings(settings);
  ApplyRegistry(settings);
  WriteUninstallEntry();
  char count[12];
  FormatDecimal(count, sizeof count, static_cast<unsigned long>(RegistryWriteFailures() - failures));
  LogStep("registry and uninstall entry written; failed writes: ", count);
  const bool whole = RegistryWriteFailures() == failures;
  if (desktopReady != nullptr) WaitForSingleObject(desktopReady, INFINITE);
  ApplyLinks(settings, groupFolder, size);
  return whole ? SetupStatus::Done : SetupStatus::Failed;
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

DWORD WINAPI EarlyCommit::Run(void* self) {
  EarlyCommit* commit = static_cast<EarlyCommit*>(self);
  commit->result_ = CommitSetup(nullptr, commit->desktopReady_, commit->groupFolder_, sizeof commit->groupFolder_);
  return 0;
}

SetupStatus EarlyCommit::Finish() {
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
