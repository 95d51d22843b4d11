#include "lang/dialog_translation.h"

#include "lang/dialog_scale.h"
#include "lang/language.h"
#include "platform/process.h"

#ifndef WS_EX_LAYOUTRTL
#define WS_EX_LAYOUTRTL 0x00400000L
#endif

void MirrorWindow(HWND window) {
  if (!IsRightToLeft()) return;
  SetWindowLongA(window, GWL_EXSTYLE, GetWindowLongA(window, GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
}

bool GetDialogScale(const char* dialogName, int* widthPercent, int* heightPercent) {
  char entry[512];
  TranslateText(entry, sizeof entry, "", dialogName, kDialogDomain);
  return ParseDialogScale(entry, widthPercent, heightPercent);
}

void TranslateDialog(HWND dialog, const char* dialogName) {
  int w = 100, h = 100;
  bool scale = GetDialogScale(dialogName, &w, &h);
  RECT wr, cr;
  GetWindowRect(dialog, &wr);
  GetClientRect(dialog, &cr);
  long nw = (wr.right - wr.left + 1) - cr.right;
  long nh = (wr.bottom - wr.top + 1) - cr.bottom;
  if (scale) {
    SetWindowPos(dialog, nullptr, 0, 0, ScaledWindowSize(cr.right, w, nw), ScaledWindowSize(cr.bottom, h, nh),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOOWNERZORDER);
  }
  char text[1024];
  GetWindowTextA(dialog, text, sizeof text);
  TranslateText(text, sizeof text, text, dialogName, kDialogDomain);
  SetWindowTextA(dialog, text);  // also when empty or unchanged

  long top = nh - GetSystemMetrics(SM_CYDLGFRAME);
  ScreenRect dialogRect = {wr.left, wr.top, wr.right, wr.bottom};
  // Screen rectangles run left to right whatever the layout, but a mirrored dialog places its
  // children from the right edge of its client area, and they keep that distance while it is
  // resized: measure them from its right edge as it is now.
  const bool mirrored = (GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  if (mirrored) {
    RECT now;
    GetWindowRect(dialog, &now);
    dialogRect.right = now.right;
  }
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetWindowTextA(child, text, sizeof text) > 0) {
      TranslateText(text, sizeof text, text, dialogName, kDialogDomain);
      SetWindowTextA(child, text);
    }
    if (!scale) continue;
    RECT r;
    GetWindowRect(child, &r);
    long dropDown = 0;
    char className[1024];
    GetClassNameA(child, className, sizeof className);
    // A drop-down combo box's window rectangle is only its edit part: add the list, scaled.
    if (CompareTextNoCase(className, "COMBOBOX") == 0 && (GetWindowLongA(child, GWL_STYLE) & 3) != CBS_SIMPLE) {
      // Its result is not a success flag everywhere (Wine answers 0): judge by the rectangle.
      RECT d = {0, 0, 0, 0};
      SendMessageA(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&d));
      if (d.bottom > d.top) dropDown = d.bottom - d.top + 1;
    }
    const ScreenRect childRect = {r.left, r.top, r.right, r.bottom};
    ChildPlacement p = PlaceScaledChild(childRect, dialogRect, nw, top, w, h, dropDown, mirrored);
    SetWindowPos(child, nullptr, p.x, p.y, p.width, p.height, SWP_NOZORDER | SWP_NOOWNERZORDER);
  }
}

void TranslateDialogHook(HWND dialog, UINT message, const char* dialogName) {
  // WM_SETFONT reaches a DS_SETFONT dialog before its controls exist, so they are created mirrored.
  if (message == WM_SETFONT) {
    MirrorWindow(dialog);
  } else if (message == WM_INITDIALOG) {
    TranslateDialog(dialog, dialogName);
  }
}
