// The C library's memory and string functions that the program calls, and that the compiler calls
// itself for struct copies and zeroing: the program links no C runtime. Plain byte loops; the calls
// are few and short. Built without -flto (the compiler's own late calls must find them) and without
// loop-to-call rewriting (which would turn memset's loop into a call to memset).
// KVX_C_NAME gives them other names where a C library has the real ones (the native tests).
#include <stddef.h>

#ifndef KVX_C_NAME
#define KVX_C_NAME(name) name
#endif

extern "C" {

void* KVX_C_NAME(memcpy)(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  while (n-- != 0) *d++ = *s++;
  return dst;
}

// Overlapping blocks: copied forwards when the destination lies below the source, backwards otherwise.
void* KVX_C_NAME(memmove)(void* dst, const void* src, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  if (d < s) {
    while (n-- != 0) *d++ = *s++;
  } else if (d > s) {
    while (n-- != 0) d[n] = s[n];
  }
  return dst;
}

void* KVX_C_NAME(memset)(void* dst, int value, size_t n) {
  unsigned char* d = static_cast<unsigned char*>(dst);
  while (n-- != 0) *d++ = static_cast<unsigned char>(value);
  return dst;
}

int KVX_C_NAME(memcmp)(const void* a, const void* b, size_t n) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; n != 0; --n, ++x, ++y) {
    if (*x != *y) return *x < *y ? -1 : 1;
  }
  return 0;
}

void* KVX_C_NAME(memchr)(const void* block, int value, size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(block);
  for (; n != 0; --n, ++p) {
    if (*p == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p);
  }
  return nullptr;
}

size_t KVX_C_NAME(strlen)(const char* s) {
  const char* p = s;
  while (*p != '\0') ++p;
  return static_cast<size_t>(p - s);
}

// Characters compare as unsigned, as the C library's do.
int KVX_C_NAME(strncmp)(const char* a, const char* b, size_t n) {
  for (; n != 0; --n, ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x != y) return x < y ? -1 : 1;
    if (x == '\0') break;
  }
  return 0;
}

int KVX_C_NAME(strcmp)(const char* a, const char* b) { return KVX_C_NAME(strncmp)(a, b, static_cast<size_t>(-1)); }

// The terminator counts as part of the string: looking for '\0' finds it.
char* KVX_C_NAME(strchr)(const char* s, int c) {
  for (;; ++s) {
    if (*s == static_cast<char>(c)) return const_cast<char*>(s);
    if (*s == '\0') return nullptr;
  }
}

char* KVX_C_NAME(strrchr)(const char* s, int c) {
  const char* last = nullptr;
  for (;; ++s) {
    if (*s == static_cast<char>(c)) last = s;
    if (*s == '\0') return const_cast<char*>(last);
  }
}

char* KVX_C_NAME(strpbrk)(const char* s, const char* accept) {
  for (; *s != '\0'; ++s) {
    if (KVX_C_NAME(strchr)(accept, static_cast<unsigned char>(*s)) != nullptr) return const_cast<char*>(s);
  }
  return nullptr;
}

}  // extern "C"
