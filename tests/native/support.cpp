#include <stdio.h>
#include <stdlib.h>

#include "lang/language_table.h"

[[noreturn]] void FatalOutOfMemory() {
  fputs("fatal: out of memory\n", stderr);
  abort();
}
