// SaverWindowClass: registers a window class of the saver: its procedure and
// background, the arrow cursor and the saver's icon. Registering a class
// that exists already fails harmlessly, so each window may ask every time.
#pragma once

#include <windows.h>

void RegisterSaverWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HBRUSH background);
