#include "platform/run_lock.h"

#include <windows.h>

#include "platform/process.h"
#include "platform/run_log.h"
#include "platform/text.h"

namespace {

typedef HANDLE(WINAPI* BoundaryFunction)(const char*, ULONG);
typedef BOOL(WINAPI* AddSidFunction)(HANDLE*, PSID);
typedef void(WINAPI* DeleteBoundaryFunction)(HANDLE);
typedef HANDLE(WINAPI* CreateNamespaceFunction)(SECURITY_ATTRIBUTES*, void*, const char*);
typedef HANDLE(WINAPI* OpenNamespaceFunction)(void*, const char*);
typedef BOOLEAN(WINAPI* CloseNamespaceFunction)(HANDLE, ULONG);
typedef BOOL(WINAPI* ConvertSddlFunction)(const char*, DWORD, PSECURITY_DESCRIPTOR*, ULONG*);
typedef BOOL(WINAPI* ConvertSidFunction)(const char*, PSID*);

void* Kernel(const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name));
}

// Since Windows 2000 each session has its own names: "Global\" reaches the other users' sessions.
// Older systems know no such prefix and refuse the backslash.
const char* LockName() {
  return GetNtMajorVersion() >= 5 ? "Global\\Korvex.Uninstall.Lock" : "Korvex.Uninstall.Lock";
}

// Windows Vista on: a namespace of names whose boundary holds the Administrators group. Only a
// process whose token has that group enabled (an elevated run, or SYSTEM) can make or open it, so
// no unelevated program of any user can take the lock first and keep every run waiting. Null
// where the system has none, or this run may not open it: today's name is used then.
HANDLE OpenAdministratorsNamespace() {
  BoundaryFunction createBoundary = reinterpret_cast<BoundaryFunction>(Kernel("CreateBoundaryDescriptorA"));
  AddSidFunction addSid = reinterpret_cast<AddSidFunction>(Kernel("AddSIDToBoundaryDescriptor"));
  DeleteBoundaryFunction deleteBoundary = reinterpret_cast<DeleteBoundaryFunction>(Kernel("DeleteBoundaryDescriptor"));
  CreateNamespaceFunction createNamespace = reinterpret_cast<CreateNamespaceFunction>(Kernel("CreatePrivateNamespaceA"));
  OpenNamespaceFunction openNamespace = reinterpret_cast<OpenNamespaceFunction>(Kernel("OpenPrivateNamespaceA"));
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  ConvertSddlFunction convert = reinterpret_cast<ConvertSddlFunction>(reinterpret_cast<void*>(
      GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA")));
  ConvertSidFunction convertSid =
      reinterpret_cast<ConvertSidFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "ConvertStringSidToSidA")));
  if (createBoundary == nullptr || addSid == nullptr || deleteBoundary == nullptr || createNamespace == nullptr ||
      openNamespace == nullptr || convert == nullptr || convertSid == nullptr) {
    return nullptr;
  }
  HANDLE boundary = createBoundary("Korvex.Uninstall", 0);
  if (boundary == nullptr) return nullptr;
  PSID administrators = nullptr;
  HANDLE space = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (convertSid("BA", &administrators) && addSid(&boundary, administrators) &&
      convert("D:P(A;;GA;;;SY)(A;;GA;;;BA)", 1, &descriptor, nullptr)) {
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    space = createNamespace(&security, boundary, "Korvex");
    if (space == nullptr && GetLastError() == ERROR_ALREADY_EXISTS) space = openNamespace(boundary, "Korvex");
  }
  if (descriptor != nullptr) LocalFree(descriptor);
  if (administrators != nullptr) LocalFree(administrators);
  deleteBoundary(boundary);
  return space;
}

}  // namespace

bool RunLock::Acquire(unsigned long milliseconds) {
  if (owned_) return true;
  const DWORD start = GetTickCount();
  const bool taken = Take(milliseconds);
  char waited[12];
  FormatDecimal(waited, sizeof waited, GetTickCount() - start);
  LogStep(taken ? "run lock: taken after " : "run lock: not taken after ", waited, " ms",
          taken ? "" : " (another setup or removal runs)");
  return taken;
}

bool RunLock::Take(unsigned long milliseconds) {
  if (namespace_ == nullptr && GetNtMajorVersion() >= 6) namespace_ = OpenAdministratorsNamespace();
  const char* name = namespace_ != nullptr ? "Korvex\\Uninstall.Lock" : LockName();
  const DWORD start = GetTickCount();
  for (;;) {
    if (mutex_ == nullptr) mutex_ = CreateMutexA(nullptr, FALSE, name);
    // Made by a run of another user, whose access list may grant us only waiting on it.
    if (mutex_ == nullptr) mutex_ = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
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
  if (namespace_ != nullptr) {
    CloseNamespaceFunction close = reinterpret_cast<CloseNamespaceFunction>(Kernel("ClosePrivateNamespace"));
    if (close != nullptr) close(static_cast<HANDLE>(namespace_), 0);
    namespace_ = nullptr;
  }
}
