#include "platform/log_text.h"

#include "platform/exit_codes.h"

namespace {

class LineWriter {
 public:
  LineWriter(char* out, size_t room) : out_(out), room_(room) {}
  void Put(char c) {
    if (used_ < room_) out_[used_++] = c;
  }
  void Digits(unsigned long value, int width) {
    char digits[12];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0 && n < 12);
    for (int i = n; i < width; ++i) Put('0');
    while (n > 0) Put(digits[--n]);
  }
  size_t Used() const { return used_; }

 private:
  char* out_;
  size_t room_;
  size_t used_ = 0;
};

}  // namespace

size_t ComposeLogLine(char* out, size_t size, const LogStamp& stamp, unsigned long pid, const char* text) {
  if (size < 3) return 0;
  LineWriter w(out, size - 3);  // room for CR LF and the terminator
  const struct {
    unsigned long value;
    int width;
    char after;
  } fields[] = {{stamp.year, 4, '-'},   {stamp.month, 2, '-'},  {stamp.day, 2, ' '},         {stamp.hour, 2, ':'},
                {stamp.minute, 2, ':'}, {stamp.second, 2, '.'}, {stamp.milliseconds, 3, ' '}};
  for (const auto& field : fields) {
    w.Digits(field.value, field.width);
    w.Put(field.after);
  }
  w.Put('[');
  w.Digits(pid, 1);
  w.Put(']');
  w.Put(' ');
  for (const char* p = text; *p != '\0'; ++p) w.Put(static_cast<unsigned char>(*p) < ' ' ? ' ' : *p);
  size_t n = w.Used();
  out[n++] = '\r';
  out[n++] = '\n';
  out[n] = '\0';
  return n;
}

const char* ExitCodeMeaning(int code) {
  switch (code) {
    case kExitDone: return "done";
    case kExitListMissing: return "the list of installed files cannot be read or names nothing to delete; nothing changed";
    case kExitUnfinished: return "could not finish; run it again";
    case kExitAlreadyRunning: return "another setup or removal kept the turn; nothing changed";
    case kExitRestartNeeded: return "removed; some files go at the next restart";
    default: return "unknown";
  }
}

size_t LogKeepFrom(const char* text, size_t size, size_t keep) {
  if (keep >= size) return 0;
  for (size_t i = size - keep; i < size; ++i) {
    if (text[i - 1] == '\n') return i;
  }
  return size;
}
