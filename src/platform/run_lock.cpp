#include "platform/run_lock.h"

#include <windows.h>

#include "platform/process.h"

namespace {

// Since Windows 2000 each session has its own names: "Global\" reaches the other users' sessions.
// Older systems know no such prefix and refuse the backslash.
const char* LockName() {
  return GetNtMajorVersion() >= 5 ? "Global\\Korvex.Uninstall.Lock" : "Korvex.Uninstall.Lock";
}

}  // namespace

bool RunLock::Acquire(unsigned long milliseconds) {
  if (owned_) return true;
  const DWORD start = GetTickCount();
  for (;;) {
    if (mutex_ == nullptr) mutex_ = CreateMutexA(nullptr, FALSE, LockName());
    // Made by a run of another user, whose access list may grant us only waiting on it.
    if (mutex_ == nullptr) mutex_ = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, LockName());
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return false;
    const DWORD left = milliseconds - elapsed;
    if (mutex_ == nullptr) {
      Sleep(left < 250 ? left : 250);
      continue;
    }
    HANDLE mutex = static_cast<HANDLE>(mutex_);
    DWORD woken = MsgWaitForMultipleObjects(1, &mutex, FALSE, left, QS_SENDMESSAGE);
    // Abandoned: the other run was killed; a rerun is what finishes its work.
    if (woken == WAIT_OBJECT_0 || woken == WAIT_ABANDONED_0) {
      owned_ = true;
      return true;
    }
    if (woken != WAIT_OBJECT_0 + 1) return false;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // delivers the sent messages only
  }
}

void RunLock::Release() {
  if (owned_) ReleaseMutex(static_cast<HANDLE>(mutex_));
  owned_ = false;
  if (mutex_ != nullptr) CloseHandle(static_cast<HANDLE>(mutex_));
  mutex_ = nullptr;
}
