// WindowOwner: the object behind one of the saver's windows. It is handed to
// CreateWindowExW as the creation parameter and kept in the window's user
// data from WM_NCCREATE on, so that the window procedure finds it for every
// later message; before that (and after the owner clears it) there is none.
#pragma once

#include <windows.h>

template <typename Owner>
Owner* WindowOwner(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}
