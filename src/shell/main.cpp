// The entry: prepares what the dialogs share, reads the command line and runs one flow.
#include <windows.h>

#include "lang/language.h"
#include "lang/messages.h"
#include "platform/exit_codes.h"
#include "platform/globals.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/run_log.h"
#include "platform/text.h"
#include "removal/batch_text.h"
#include "removal/self_deletion.h"
#include "removal/uninstall.h"
#include "resources/resource.h"
#include "setup/apply.h"
#include "shell/command_line.h"
#include "shell/setup_flow.h"
#include "shell/warning.h"
#include "version.h"

namespace {

// 12 pixels at 96 dots an inch, as many more as the screen has: the program declares itself aware of
// the screen's DPI, so the system no longer enlarges what it draws in pixels (dialog units it does).
int BoldFontHeight() {
  HDC screen = GetDC(nullptr);
  int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return MulDiv(12, dpi > 0 ? dpi : 96, 96);
}

// Themed controls come from the common controls' sixth version, which the program's manifest asks
// for; Windows XP before its second service pack creates no dialog or box unless the library was
// initialised first. Loaded only by runs that may show a window. By its bare name where the manifest's
// sixth version comes from the system's side-by-side store (Windows XP on), which no folder of the
// program's can stand in for; from the system folder by its full path on older systems.
void PrepareCommonControls() {
  typedef void(WINAPI * InitFunction)();
  const unsigned long nt = GetNtMajorVersion();
  OSVERSIONINFOA version;
  version.dwOSVersionInfoSize = sizeof version;
  const bool sideBySide = nt > 5 || (nt == 5 && GetVersionExA(&version) && version.dwMinorVersion >= 1);
  HMODULE controls = sideBySide ? LoadLibraryA("comctl32.dll") : static_cast<HMODULE>(LoadSystemLibrary("comctl32.dll"));
  InitFunction init = reinterpret_cast<InitFunction>(
      reinterpret_cast<void*>(controls != nullptr ? GetProcAddress(controls, "InitCommonControls") : nullptr));
  if (init != nullptr) init();
}

// A path that the ANSI functions can name neither as it is nor by its short form ("?" for a letter the
// code page lacks, a look-alike for another) would be registered, and later acted on, as some other
// folder or none: the product could never be removed, or another folder's files would go. The setup
// and the removal then change nothing. Interactive runs say so and end with 0.
int RefuseUnnamablePaths(bool setup) {
  LogStep("refused: the program's folder or the temporary folder has no name in the ANSI code page");
  if (SilentMode) return kExitUnfinished;
  PrepareCommonControls();
  MessageBoxA(nullptr, GetMessageText(IDS_PATH_UNNAMABLE), GetMessageText(setup ? IDS_DISPLAY_NAME : IDS_REMOVE_CAPTION),
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  return 0;
}

bool MayShowWindows(const ParsedCommandLine& parsed) {
  switch (parsed.option) {
    case CommandOption::Setup: return true;  // a silent setup's dialogs still come up, briefly
    case CommandOption::Wait:
    case CommandOption::Unknown: return false;
    default: return !parsed.silent;
  }
}

// The log of a silent run, or of any run given "/log": what it is, where, and with what rights.
void StartRunLog(const ParsedCommandLine& parsed, bool logGiven, const char* logOption, const char* wholeLine) {
  if (parsed.option == CommandOption::Unknown || !(logGiven || parsed.silent)) return;
  // The default log is named after the program's path, as the batch file is; that of a program the
  // ANSI functions cannot name is named after the system's spelling of it.
  char program[kPathSize];
  char name[28] = "";
  if (logOption[0] == '\0') {
    if (!GetProgramPath(program, sizeof program)) {
      DWORD n = GetModuleFileNameA(nullptr, program, sizeof program);
      if (n == 0 || n >= sizeof program) return;
    }
    LogFileName(name, program);
  }
  OpenRunLog(logOption, name);
  char system[48];
  DescribeSystemVersion(system, sizeof system);
  LogStep("Uninstall.exe " KVX_VERSION_TEXT ": ", wholeLine);
  LogStep("Windows ", system, RunsElevated() ? ", elevated" : ", not elevated");
}

// Every run ends here. The language library is unloaded now: no static destructor runs after
// WinMain (the entry ends the process at once).
int EndRun(int exitCode) {
  UnloadLanguageLibrary();
  LogExitAndClose(exitCode);
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  // Read first: a silent run must never show a box, not even while the language loads.
  char emptyLine[1] = "";
  char* line = commandLine != nullptr ? commandLine : emptyLine;
  // As it came, for the log: the option is taken out of it in place (a long line is logged cut).
  char wholeLine[2 * kPathSize];
  CopyText(wholeLine, sizeof wholeLine, GetCommandLineA());
  char logOption[kPathSize];
  const bool logGiven = TakeLogOption(line, logOption, sizeof logOption);
  ParsedCommandLine parsed = ParseCommandLine(line);
  RestrictLibrarySearch();
  SilentMode = parsed.silent;
  StartRunLog(parsed, logGiven, logOption, wholeLine);

  const bool windows = MayShowWindows(parsed);
  // Texts for the boxes and the link names: the removal and the setup. "/wait" and a silent
  // "/warning" show nothing and touch no link, which keeps the batch file's runs short.
  const bool language = windows || parsed.option == CommandOption::Remove;
  // Only the setup's dialogs use OLE (the rich edit text), the icon and the bold font; the links
  // are saved on threads that initialise COM for themselves, and deleting them needs none.
  const bool dialogs = parsed.option == CommandOption::Setup;
  if (language) {
    LoadLanguageLibrary(instance);
    LoadLanguageFile("uninstall.lng");
  }
  // The setup and the removal change the system: first the paths they would write and act on.
  const bool changes = dialogs || parsed.option == CommandOption::NoOption || parsed.option == CommandOption::Remove;
  char program[kPathSize];
  if (changes && (!GetProgramPath(program, sizeof program) || (!dialogs && !BatchFolderNamable()))) {
    return EndRun(RefuseUnnamablePaths(dialogs));
  }
  // A silent setup confirms the stored choices, so it applies them at once (the link names need the
  // language first) while this thread waits for the desktop, which under Wine is most of a silent
  // setup. The wait happens here, not inside the common controls' start-up: that would hold the
  // loader's lock, which every new thread needs before it runs. The dialogs then take the result.
  EarlyCommit early;
  if (dialogs && SilentMode) {
    early.Start();
    GetDesktopWindow();
    early.DesktopReady();
  }
  HMODULE richEdit = nullptr;
  if (windows) PrepareCommonControls();
  if (dialogs) {
    OleInitialize(nullptr);  // best effort
    richEdit = static_cast<HMODULE>(LoadSystemLibrary("riched32.dll"));
    DialogIcon = LoadIconA(CurrentResourceModule(), "KVXICON");
    BoldFont = CreateFontA(-BoldFontHeight(), 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  }

  int exitCode = kExitDone;  // only silent runs report failures
  switch (parsed.option) {
    case CommandOption::NoOption: UninstallArchiver(false); break;
    case CommandOption::Remove: exitCode = UninstallArchiver(SilentMode); break;
    case CommandOption::Setup:
      switch (RunSetupFlow(&early)) {
        case SetupStatus::Busy: exitCode = SilentMode ? kExitAlreadyRunning : 0; break;
        case SetupStatus::Failed: exitCode = SilentMode ? kExitUnfinished : 0; break;
        default: break;
      }
      break;
    case CommandOption::Wait:
      if (WaitForRemovalToEnd()) {
        LogStep("the removal has ended");
        FinishInterruptedRemoval();
      }
      break;
    case CommandOption::Warning:
      DeleteFileList();
      // Silent: no one may be there to read a box, and the interpreter would wait for it.
      if (SilentMode) {
        DeleteProgramAtRestart();
      } else {
        ShowRemovalWarning();
      }
      break;
    case CommandOption::Unknown: break;
  }

  if (richEdit != nullptr) FreeLibrary(richEdit);
  if (dialogs) OleUninitialize();
  if (BoldFont != nullptr) DeleteObject(BoldFont);
  return EndRun(exitCode);
}
