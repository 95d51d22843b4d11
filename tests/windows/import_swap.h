// One import slot of this test program pointed elsewhere.
#pragma once

// Sends this binary's calls of one imported function to `replacement` while it lives: the
// program's code is linked in, so its calls go through the same import slot.
class ImportSwap {
 public:
  ImportSwap(const char* dll, const char* function, void* replacement);
  ~ImportSwap();
  ImportSwap(const ImportSwap&) = delete;
  ImportSwap& operator=(const ImportSwap&) = delete;
  bool Active() const { return original_ != nullptr; }

 private:
  bool Write(void* value);
  void** slot_ = nullptr;
  void* original_ = nullptr;
};
