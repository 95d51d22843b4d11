// Memory blocks of the heap. Pure: no <windows.h>. Each host defines these: the program and the
// Windows tests with the process heap of kernel32 (the program links no C runtime), the native
// tests, fuzzers and benchmarks with their C library.
#pragma once
#include <stddef.h>

// A new block of `bytes`, or null when memory is out.
void* AllocateMemory(size_t bytes);
// `block` (null: none yet) grown or shrunk to `bytes`, its contents kept; null, and `block` left as
// it was, when memory is out.
void* ResizeMemory(void* block, size_t bytes);
// Frees `block`; null is allowed.
void FreeMemory(void* block);
