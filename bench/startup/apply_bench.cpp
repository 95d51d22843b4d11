// Registry calls and wall time of ApplySetup with every flag set and with every flag clear.
// Run under Wine by scripts/bench-apply.sh, once per Windows family.
#include <objbase.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "setup/apply.h"

static IntegrationSettings Every(unsigned char flag) {
  IntegrationSettings s;
  memset(&s, 0, sizeof s);
  for (int i = 0; i < kArchiveTypeCount; ++i) s.types[i] = flag;
  s.Desktop = s.StartMenu = s.Programs = s.ShellExt = s.CascadedMenu = s.MenuIcons = flag;
  return s;
}

static void Measure(const char* title, const IntegrationSettings& settings, int rounds) {
  double first = 0, best = 1e30;
  long firstCalls = 0, calls = 0;
  for (int i = 0; i < rounds; ++i) {
    char group[1024] = "";
    long before = RegistryCallCount();
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    ApplySetup(&settings, group);
    QueryPerformanceCounter(&end);
    calls = RegistryCallCount() - before;
    double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    if (i == 0) {
      first = ms;
      firstCalls = calls;
    } else if (ms < best) {
      best = ms;
    }
  }
  // The first round changes the state (take-over or release); the others find it done.
  printf("  %-18s first: %5ld registry calls %7.1f ms;  again: %5ld calls, best %7.1f ms of %d\n", title,
         firstCalls, first, calls, best, rounds - 1);
}

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 5;
  if (rounds < 2) rounds = 2;
  LoadLanguageLibrary(GetModuleHandleA(nullptr));
  LoadLanguageFile("uninstall.lng");
  OleInitialize(nullptr);
  printf("ApplySetup under Wine, %s family:\n", GetNtMajorVersion() != 0 ? "NT" : "9x");
  IntegrationSettings all = Every(1), none = Every(0);
  // The first round of each takes ownership or releases; later rounds repeat the same state.
  Measure("every flag set", all, rounds);
  Measure("every flag clear", none, rounds);
  OleUninitialize();
  return 0;
}
