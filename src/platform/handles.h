// One owner per handle: released on every path, never copied.
#pragma once
#include <windows.h>

#include "platform/registry.h"

// An open registry key.
class RegKey {
 public:
  explicit RegKey(HKEY key) : key_(key) {}
  ~RegKey() {
    if (key_ != nullptr) CloseRegKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY Get() const { return key_; }

 private:
  HKEY key_;
};

// A COM interface reference.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (object_ != nullptr) object_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* Get() const { return object_; }
  T** Out() { return &object_; }
  void** OutVoid() { return reinterpret_cast<void**>(&object_); }
  T* operator->() const { return object_; }

 private:
  T* object_ = nullptr;
};

// A kernel object's handle: a file, a process, a thread, a token, an event.
class KernelHandle {
 public:
  explicit KernelHandle(HANDLE h) : handle_(h) {}
  ~KernelHandle() {
    if (IsValid()) CloseHandle(handle_);
  }
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

// A block of the process heap.
class HeapBlock {
 public:
  explicit HeapBlock(void* block) : block_(block) {}
  ~HeapBlock() {
    if (block_ != nullptr) HeapFree(GetProcessHeap(), 0, block_);
  }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;

 private:
  void* block_;
};
