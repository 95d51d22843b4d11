#include "lang/dialog_scale.h"

static const char* SkipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') ++p;
  return p;
}

// Like atoi, but saturating instead of overflowing.
static int ReadNumber(const char* p) {
  p = SkipBlanks(p);
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  while (*p >= '0' && *p <= '9') {
    if (value < 0x80000000LL) value = value * 10 + (*p - '0');
    ++p;
  }
  if (negative) value = -value;
  if (value > 0x7FFFFFFFLL) return 0x7FFFFFFF;
  if (value < -0x80000000LL) return static_cast<int>(-0x7FFFFFFF - 1);
  return static_cast<int>(value);
}

static int UsablePercent(int percent) {
  return percent < kMinScalePercent || percent > kMaxScalePercent ? 100 : percent;
}

static int ClampToInt(long long value) {
  if (value > 0x7FFFFFFFLL) return 0x7FFFFFFF;
  if (value < -0x80000000LL) return static_cast<int>(-0x7FFFFFFF - 1);
  return static_cast<int>(value);
}

bool ParseDialogScale(const char* text, int* widthPercent, int* heightPercent) {
  const char* star = text;
  while (*star != '\0' && *star != '*') ++star;
  if (*star == '*') {
    *widthPercent = UsablePercent(ReadNumber(text));
    *heightPercent = UsablePercent(ReadNumber(star + 1));
  } else {
    *widthPercent = *heightPercent = 100;
  }
  return *widthPercent != 100 || *heightPercent != 100;
}

int ScaleBy(long long value, int percent) {
  return ClampToInt(value * percent / 100);  // C++ division truncates toward zero
}

int ScaledWindowSize(long clientSize, int percent, long frameSize) {
  return ClampToInt(static_cast<long long>(ScaleBy(clientSize, percent)) + frameSize);
}

ChildPlacement PlaceScaledChild(const ScreenRect& child, const ScreenRect& dialog, long frameWidth, long top,
                                int widthPercent, int heightPercent, long dropDownHeight, bool mirrored) {
  ChildPlacement p;
  // The frame is as wide on either side, so half the non-client width leads to the client area.
  long long fromLeadingEdge = mirrored ? static_cast<long long>(dialog.right) - child.right - frameWidth / 2
                                       : static_cast<long long>(child.left) - dialog.left - frameWidth / 2;
  p.x = ScaleBy(fromLeadingEdge, widthPercent);
  p.y = ScaleBy(static_cast<long long>(child.top) - dialog.top - top, heightPercent);
  p.width = ScaleBy(static_cast<long long>(child.right) - child.left + 1, widthPercent);
  p.height = ScaleBy(static_cast<long long>(child.bottom) - child.top + 1, heightPercent);
  if (dropDownHeight != 0) {
    p.height = ClampToInt(static_cast<long long>(p.height) + ScaleBy(dropDownHeight, heightPercent));
  }
  return p;
}
