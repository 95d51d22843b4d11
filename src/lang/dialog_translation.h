// Adapts a dialog to the language in use: mirrored for right-to-left languages, title and control
// texts translated per dialog name, and scaled when the language file asks for it.
#pragma once
#include <windows.h>

// Called first by each dialog procedure for every message; never consumes one.
void TranslateDialogHook(HWND dialog, UINT message, const char* dialogName);

void MirrorWindow(HWND window);
bool GetDialogScale(const char* dialogName, int* widthPercent, int* heightPercent);
void TranslateDialog(HWND dialog, const char* dialogName);
