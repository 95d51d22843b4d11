// A growable array of plain values, and what happens when memory runs out. Pure: no <windows.h>.
#pragma once
#include <stddef.h>

#include "platform/memory.h"

// Stops the program: memory ran out where it cannot go on without. Each host (program, tests,
// fuzzer) defines it.
[[noreturn]] void FatalOutOfMemory();

// A growable array of plain values. Growth: capacity + capacity / 4 + 16 items, or the count if
// that is larger; running out of memory is fatal in Add, a result in TryAdd.
template <typename T>
class Array {
 public:
  Array() = default;
  ~Array() { FreeMemory(items_); }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;

  void Add(T item) {
    if (!TryAdd(item)) FatalOutOfMemory();
  }
  // Add for callers that can go on without the item: false, and nothing added, when memory is out.
  bool TryAdd(T item) {
    if (count_ + 1 > capacity_) {
      int wanted = capacity_ + capacity_ / 4 + 16;
      if (wanted < count_ + 1) wanted = count_ + 1;
      T* grown = static_cast<T*>(ResizeMemory(items_, static_cast<size_t>(wanted) * sizeof(T)));
      if (grown == nullptr) return false;
      items_ = grown;
      capacity_ = wanted;
    }
    items_[count_++] = item;
    return true;
  }
  void Clear() {
    FreeMemory(items_);
    items_ = nullptr;
    count_ = capacity_ = 0;
  }
  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  T* Items() { return items_; }
  const T* Items() const { return items_; }
  T& operator[](int i) { return items_[i]; }
  const T& operator[](int i) const { return items_[i]; }

 private:
  T* items_ = nullptr;
  int count_ = 0;
  int capacity_ = 0;
};
