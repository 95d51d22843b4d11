// The heap of the native hosts (tests, fuzzers, benchmarks): their C library's, which the sanitizers
// watch.
#include <stdlib.h>

#include "platform/memory.h"

void* AllocateMemory(size_t bytes) { return malloc(bytes); }

void* ResizeMemory(void* block, size_t bytes) { return realloc(block, bytes); }

void FreeMemory(void* block) { free(block); }
