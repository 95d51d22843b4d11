#include "removal/batch_text.h"

#include <string.h>

#include "lang/crc32.h"
#include "platform/companions.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace {

class BatchWriter {
 public:
  BatchWriter(char* out, size_t size) : out_(out), size_(size) {}
  void Text(const char* text) {
    for (; *text != '\0'; ++text) Put(*text);
  }
  void Quoted(const char* path) {
    Put('"');
    for (; *path != '\0'; ++path) {
      if (*path == '%') Put('%');
      Put(*path);
    }
    Put('"');
  }
  long Finish() {
    if (used_ >= size_) return -1;
    out_[used_] = '\0';
    return static_cast<long>(used_);
  }

 private:
  void Put(char c) {
    if (used_ + 1 < size_) out_[used_] = c;
    ++used_;  // counted on past the end, so that Finish knows the text did not fit
  }
  char* out_;
  size_t size_;
  size_t used_ = 0;
};

}  // namespace

long ComposeSelfDeletionBatch(char* out, size_t size, bool ntFamily, const char* program, const char* folder,
                              const char* batch, bool silent, const char* log) {
  // The list goes once the program has: until then a rerun of the program, should the interpreter
  // be stopped on the way, finds all it needs to finish the removal.
  char list[kPathSize + sizeof KVX_FILE_LIST];
  if (!JoinPath(list, sizeof list, folder, KVX_FILE_LIST)) return -1;
  BatchWriter w(out, size);
  // On the 9x family the interpreter does not wait for a Windows program unless told to.
  if (!ntFamily) w.Text("start /wait ");
  w.Quoted(program);
  w.Text(" /wait");
  if (log[0] != '\0') {
    w.Text(" /log=");
    w.Quoted(log);
  }
  w.Text("\r\n");
  for (int attempt = 0; attempt < kBatchAttempts; ++attempt) {
    w.Text("del ");
    w.Quoted(program);
    w.Text("\r\nif not exist ");
    w.Quoted(program);
    w.Text(" del ");
    w.Quoted(list);
    w.Text("\r\nrd ");
    w.Quoted(folder);
    w.Text("\r\nif not exist ");
    w.Quoted(program);
    w.Text(" goto done\r\n");
  }
  w.Text(":done\r\nif exist ");
  w.Quoted(program);
  w.Text(" ");
  w.Quoted(program);
  w.Text(" /warning");
  if (log[0] != '\0') {
    w.Text(" /log=");
    w.Quoted(log);
  }
  w.Text(silent ? " /s\r\ndel " : "\r\ndel ");
  w.Quoted(batch);
  return w.Finish();
}

bool ComposeInterpreterCommand(char* out, size_t size, const char* interpreter, const char* batch) {
  const char* name = strrchr(interpreter, '\\');
  const bool cmd = EqualsNoCaseAscii(name != nullptr ? name + 1 : interpreter, "cmd.exe", -1);
  char quoted[kPathSize + 2];
  if (!QuoteCommandPath(quoted, sizeof quoted, interpreter) || !CopyText(out, size, quoted)) return false;
  return AppendText(out, size, cmd ? " /d /c \"\"" : " /c \"") && AppendText(out, size, batch) &&
         AppendText(out, size, cmd ? "\"\"" : "\"");
}

namespace {

void KeyedFileName(char out[28], const char* program, unsigned attempt, const char* extension) {
  // The same folder may be started as "c:\programmi" once and "C:\Programmi" the next time.
  uint32_t crc = 0xFFFFFFFFu;
  for (const char* p = program; *p != '\0'; ++p) {
    char c = *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 'a' + 'A') : *p;
    crc = UpdateCrc32(crc, &c, 1);
  }
  crc = ~crc + attempt;
  static const char kDigits[] = "0123456789ABCDEF";
  char hex[9];
  for (int i = 0; i < 8; ++i) hex[i] = kDigits[(crc >> (28 - 4 * i)) & 0xF];
  hex[8] = '\0';
  CopyText(out, 28, "Uninstall.Kvx.");
  AppendText(out, 28, hex);
  AppendText(out, 28, extension);
}

}  // namespace

void BatchFileName(char out[28], const char* program, unsigned attempt) {
  KeyedFileName(out, program, attempt, ".Bat");
}

void LogFileName(char out[28], const char* program) { KeyedFileName(out, program, 0, ".log"); }
