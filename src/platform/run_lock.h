// One setup or removal at a time on this machine: both rewrite the same machine-wide keys and links.
#pragma once

// How long a run waits for another one to end before it gives up.
const unsigned long kRunLockWait = 30000;

// A machine-wide mutex. A run that ends without releasing it (killed) leaves it to the next one. On
// Windows Vista and later its name lies where only elevated runs may make names.
class RunLock {
 public:
  RunLock() = default;
  ~RunLock() { Release(); }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Waits up to `milliseconds` for the turn; messages that other threads send to this thread's
  // windows are handled meanwhile, so that a dialog waiting here does not hold up the shell.
  bool Acquire(unsigned long milliseconds);
  void Release();

 private:
  bool Take(unsigned long milliseconds);

  void* namespace_ = nullptr;  // the Administrators' names (Windows Vista on), while the lock is used
  void* mutex_ = nullptr;
  bool owned_ = false;
};
