#include "shell/win32/CoverWindows.h"

#include "shell/win32/TViewForm.h"
#include "shell/win32/SaverWindowClass.h"
#include "shell/win32/WindowOwner.h"

#include <windowsx.h>

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR, HDC, LPRECT area, LPARAM data)
{
    reinterpret_cast<std::vector<RECT>*>(data)->push_back(*area);
    return TRUE;
}

}  // namespace

void CoverWindows::Create(HINSTANCE instance, TViewForm& viewer, bool topmost)
{
    const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterSaverWindowClass(instance, CoverClassName, WindowProcedure, black);

    std::vector<RECT> monitors;
    EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
    const RECT primary{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    for (const RECT& area : monitors) {
        if (EqualRect(&area, &primary)) continue;
        HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | (topmost ? WS_EX_TOPMOST : 0), CoverClassName, L"",
                                      WS_POPUP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                                      viewer.Handle(), nullptr, instance, &viewer);
        if (window == nullptr) continue;
        ShowWindow(window, SW_SHOWNOACTIVATE);
        windows_.push_back(window);
    }
}

LRESULT CALLBACK CoverWindows::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* viewer = WindowOwner<TViewForm>(window, message, lParam);
    if (viewer == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: viewer->KeyPressed(); return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN: viewer->ButtonPressed(); return 0;
    case WM_MOUSEMOVE: {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(window, &point);
        viewer->PointerMovedTo(TPoint{point.x, point.y});
        return 0;
    }
    case WM_SETCURSOR:
        if (viewer->CursorHidden()) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SCREENSAVE) return 1;
        break;
    case WM_NCDESTROY: SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
