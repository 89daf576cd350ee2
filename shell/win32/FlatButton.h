// FlatButton: a push button drawn flat on its parent's background that never
// takes the keyboard focus, so that Enter and Escape keep going to the
// dialog's default and cancel buttons whatever was clicked last. It shows a
// raised edge while the pointer is over it and a sunken one while pressed,
// and tells its parent WM_COMMAND / BN_CLICKED when released over itself.
//
// The parent sets the font with WM_SETFONT and the background colour with
// SetFlatButtonBackground.
#pragma once

#include <windows.h>

constexpr wchar_t FlatButtonClassName[] = L"KamishibaiFlatButton";

void RegisterFlatButtonClass(HINSTANCE instance);
void SetFlatButtonBackground(HWND button, COLORREF colour);
