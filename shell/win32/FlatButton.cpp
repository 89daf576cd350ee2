#include "shell/win32/FlatButton.h"
#include "shell/win32/SaverWindowClass.h"

namespace {

struct FlatButtonState {
    HFONT font = nullptr;
    COLORREF background = GetSysColor(COLOR_BTNFACE);
    bool hover = false;
    bool pressed = false;
};

FlatButtonState* StateOf(HWND button)
{
    return reinterpret_cast<FlatButtonState*>(GetWindowLongPtrW(button, GWLP_USERDATA));
}

bool Inside(HWND button, LPARAM lParam)
{
    RECT client;
    GetClientRect(button, &client);
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    return PtInRect(&client, point) != FALSE;
}

void Paint(HWND button, FlatButtonState& state)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(button, &paint);
    RECT client;
    GetClientRect(button, &client);
    HBRUSH brush = CreateSolidBrush(state.background);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    if (state.pressed && state.hover)
        DrawEdge(dc, &client, BDR_SUNKENOUTER, BF_RECT);
    else if (state.hover || state.pressed)
        DrawEdge(dc, &client, BDR_RAISEDINNER, BF_RECT);
    wchar_t text[64] = {};
    GetWindowTextW(button, text, 64);
    HGDIOBJ previous = state.font != nullptr ? SelectObject(dc, state.font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(button) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    RECT textArea = client;
    if (state.pressed && state.hover) OffsetRect(&textArea, 1, 1);
    DrawTextW(dc, text, -1, &textArea, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (previous != nullptr) SelectObject(dc, previous);
    EndPaint(button, &paint);
}

LRESULT CALLBACK FlatButtonProcedure(HWND button, UINT message, WPARAM wParam, LPARAM lParam)
{
    FlatButtonState* state = StateOf(button);
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(button, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new FlatButtonState));
        break;
    case WM_NCDESTROY:
        delete state;
        SetWindowLongPtrW(button, GWLP_USERDATA, 0);
        break;
    case WM_SETFONT:
        if (state != nullptr) state->font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam)) InvalidateRect(button, nullptr, TRUE);
        return 0;
    case WM_GETFONT: return state != nullptr ? reinterpret_cast<LRESULT>(state->font) : 0;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_GETDLGCODE: return DLGC_STATIC;  // never a focus or default button
    case WM_MOUSEMOVE:
        if (state != nullptr) {
            const bool hover = Inside(button, lParam);
            if (hover != state->hover) {
                state->hover = hover;
                InvalidateRect(button, nullptr, TRUE);
            }
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, button, 0};
            TrackMouseEvent(&track);
        }
        return 0;
    case WM_MOUSELEAVE:
        if (state != nullptr && state->hover) {
            state->hover = false;
            InvalidateRect(button, nullptr, TRUE);
        }
        return 0;
    case WM_LBUTTONDOWN:
        if (state != nullptr) {
            state->pressed = true;
            state->hover = true;
            SetCapture(button);
            InvalidateRect(button, nullptr, TRUE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (state != nullptr && state->pressed) {
            state->pressed = false;
            ReleaseCapture();
            InvalidateRect(button, nullptr, TRUE);
            if (Inside(button, lParam))
                SendMessageW(GetParent(button), WM_COMMAND,
                             MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
        }
        return 0;
    case WM_CAPTURECHANGED:
        if (state != nullptr) state->pressed = false;
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
        if (state != nullptr) {
            Paint(button, *state);
            return 0;
        }
        break;
    default: break;
    }
    return DefWindowProcW(button, message, wParam, lParam);
}

}  // namespace

void RegisterFlatButtonClass(HINSTANCE instance)
{
    RegisterSaverWindowClass(instance, FlatButtonClassName, FlatButtonProcedure, nullptr);  // it paints itself
}

void SetFlatButtonBackground(HWND button, COLORREF colour)
{
    if (FlatButtonState* state = StateOf(button)) {
        state->background = colour;
        InvalidateRect(button, nullptr, TRUE);
    }
}
