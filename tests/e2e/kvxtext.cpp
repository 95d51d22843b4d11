// The program's own text composers on the host, so that the end-to-end suites and the screenshot
// tool compare what the program shows or writes with the composer's output instead of stating the
// rules again (tests/native states them).
//   kvxtext batch nt|9x PROGRAM FOLDER BATCH silent|shown [LOG]   the batch file's text
//   kvxtext batch-name PROGRAM ATTEMPT                            the batch file's name
//   kvxtext log-name PROGRAM                                      the run log's default name
//   kvxtext format FORMAT ARGUMENT                                a message as the program formats it
// Arguments are Windows-1252 bytes; the output goes to stdout as it is, without a line end.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "platform/paths.h"
#include "platform/text.h"
#include "removal/batch_text.h"

namespace {

int Usage() {
  fputs("usage: kvxtext batch nt|9x PROGRAM FOLDER BATCH silent|shown [LOG]\n"
        "       kvxtext batch-name PROGRAM ATTEMPT\n"
        "       kvxtext log-name PROGRAM\n"
        "       kvxtext format FORMAT ARGUMENT\n",
        stderr);
  return 2;
}

int Put(const char* text, size_t length) {
  return fwrite(text, 1, length, stdout) == length && fflush(stdout) == 0 ? 0 : 1;
}

int Refuse(const char* what) {
  fprintf(stderr, "kvxtext: %s does not fit\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const char* command = argv[1];
  if (argc >= 7 && argc <= 8 && strcmp(command, "batch") == 0) {
    // As large as the program's own buffer could ever need: 31 paths and their quotes.
    std::vector<char> out(31 * 2 * (kPathSize + 16) + 512);
    long n = ComposeSelfDeletionBatch(out.data(), out.size(), strcmp(argv[2], "nt") == 0, argv[3], argv[4],
                                      argv[5], strcmp(argv[6], "silent") == 0, argc == 8 ? argv[7] : "");
    return n < 0 ? Refuse("the text") : Put(out.data(), static_cast<size_t>(n));
  }
  if (argc == 4 && strcmp(command, "batch-name") == 0) {
    char name[28];
    BatchFileName(name, argv[2], static_cast<unsigned>(strtoul(argv[3], nullptr, 10)));
    return Put(name, strnlen(name, sizeof name));
  }
  if (argc == 3 && strcmp(command, "log-name") == 0) {
    char name[28];
    LogFileName(name, argv[2]);
    return Put(name, strnlen(name, sizeof name));
  }
  if (argc == 4 && strcmp(command, "format") == 0) {
    std::vector<char> out(strlen(argv[2]) + strlen(argv[3]) + 1);
    if (!FormatOneString(out.data(), out.size(), argv[2], argv[3])) return Refuse("the message");
    return Put(out.data(), strnlen(out.data(), out.size()));
  }
  return Usage();
}
