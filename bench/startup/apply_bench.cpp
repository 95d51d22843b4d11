// Registry calls and wall time of ApplySetup with every flag set and with every flag clear.
// Run under Wine by scripts/bench-apply.sh, once per Windows family.
#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "call_count.h"
#include "lang/language.h"
#include "lang/messages.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "setup/apply.h"
#include "setup/associations.h"
#include "setup/links.h"
#include "setup/shell_extension.h"

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
    long before = RegistryCalls();
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    ApplySetup(&settings, group, sizeof group);
    QueryPerformanceCounter(&end);
    calls = RegistryCalls() - before;
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

static double Now() {
  LARGE_INTEGER t, f;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&f);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Where the time of one apply goes, step by step (the state is already applied).
static void Steps(const IntegrationSettings& settings) {
  char group[1024] = "";
  double t0 = Now();
  long c0 = RegistryCalls();
  RegisterAppPath();
  double t1 = Now();
  long c1 = RegistryCalls();
  ApplyShellExtension(&settings);
  double t2 = Now();
  long c2 = RegistryCalls();
  ApplyAssociations(&settings);
  double t3 = Now();
  long c3 = RegistryCalls();
  RegisterProgIds();
  double t4 = Now();
  long c4 = RegistryCalls();
  ApplyLinks(&settings, group, sizeof group);
  double t5 = Now();
  long c5 = RegistryCalls();
  printf("  steps: app path %.0f ms (%ld calls), shell extension %.0f ms (%ld), associations %.0f ms (%ld), "
         "ProgIDs %.0f ms (%ld), links %.0f ms (%ld)\n",
         t1 - t0, c1 - c0, t2 - t1, c2 - c1, t3 - t2, c3 - c2, t4 - t3, c4 - c3, t5 - t4, c5 - c4);
}

// Where one link's time goes: creating the shell's link object, setting it, saving it.
static void LinkParts() {
  char path[MAX_PATH];
  GetTempPathA(sizeof path, path);
  strcat(path, "bench.lnk");
  WCHAR wide[MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH);
  double create = 0, set = 0, save = 0;
  const int n = 8;
  for (int i = 0; i < n; ++i) {
    double t0 = Now();
    IShellLinkA* link = nullptr;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link));
    double t1 = Now();
    link->SetPath("C:\\Korvex\\Korvex.exe");
    link->SetDescription("Korvex");
    IPersistFile* file = nullptr;
    link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    double t2 = Now();
    file->Save(wide, TRUE);
    double t3 = Now();
    file->Release();
    link->Release();
    create += t1 - t0;
    set += t2 - t1;
    save += t3 - t2;
  }
  DeleteFileA(path);
  printf("  one link: create %.1f ms, set path and description %.1f ms, save %.1f ms (mean of %d)\n", create / n,
         set / n, save / n, n);
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
  Steps(all);
  LinkParts();
  Measure("every flag clear", none, rounds);
  OleUninitialize();
  return 0;
}
