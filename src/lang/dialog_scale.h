// Arithmetic of dialog scaling. Pure: no <windows.h>.
#pragma once

// Reads a scale entry "W*H" (each a signed decimal number, leading blanks skipped, no digits = 0).
// Without an asterisk both are 100. Returns whether scaling applies (not both 100).
bool ParseDialogScale(const char* text, int* widthPercent, int* heightPercent);

// value * percent / 100, truncated toward zero. Worked in 64 bits and held to the 32-bit range, so
// no scale entry can overflow.
int ScaleBy(long long value, int percent);

struct ScreenRect {
  long left, top, right, bottom;
};

struct ChildPlacement {
  int x, y, width, height;
};

// Where a child goes in the scaled dialog. `dialog` is the dialog's window rectangle before it was
// resized, `frameWidth` its non-client width, `top` its non-client height less the dialog frame;
// `dropDownHeight` is the dropped-down list height of a drop-down combo box (0 for other controls).
ChildPlacement PlaceScaledChild(const ScreenRect& child, const ScreenRect& dialog, long frameWidth, long top,
                                int widthPercent, int heightPercent, long dropDownHeight);
