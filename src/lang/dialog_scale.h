// Arithmetic of dialog scaling. Pure: no <windows.h>.
#pragma once

// Percentages a scale entry may give; outside this range a dialog would shrink to nothing or leave
// the screen, so such a value counts as 100.
const int kMinScalePercent = 50;
const int kMaxScalePercent = 400;

// Reads a scale entry "W*H" (each a signed decimal number, leading blanks skipped, no digits = 0).
// Without an asterisk both are 100; a value outside kMinScalePercent..kMaxScalePercent counts as
// 100, each of the two on its own. Returns whether scaling applies (not both 100).
bool ParseDialogScale(const char* text, int* widthPercent, int* heightPercent);

// value * percent / 100, truncated toward zero. Worked in 64 bits and held to the 32-bit range, so
// no scale entry can overflow.
int ScaleBy(long long value, int percent);

// The new outer size of a dialog whose client size `clientSize` is scaled by `percent` and whose
// frame adds `frameSize`: worked in 64 bits and held to the 32-bit range.
int ScaledWindowSize(long clientSize, int percent, long frameSize);

struct ScreenRect {
  long left, top, right, bottom;
};

struct ChildPlacement {
  int x, y, width, height;
};

// Where a child goes in the scaled dialog. `dialog` is the dialog's window rectangle before it was
// resized, `frameWidth` its non-client width, `top` its non-client height less the dialog frame;
// `dropDownHeight` is the dropped-down list height of a drop-down combo box (0 for other controls).
// Screen rectangles run left to right; a mirrored dialog (`mirrored`) counts a child's x from the
// right edge of its client area to the child's right edge, so x is taken from that side, and
// `dialog.right` must be the dialog's right edge at the time the child's rectangle was read (its
// children move with that edge when it is resized).
ChildPlacement PlaceScaledChild(const ScreenRect& child, const ScreenRect& dialog, long frameWidth, long top,
                                int widthPercent, int heightPercent, long dropDownHeight, bool mirrored);
