#include "shell/win32/TViewForm.h"

#include "settings/PreferenceStore.h"
#include "platform/win32/DibSectionBitmap.h"
#include "shell/win32/SaverWindowClass.h"
#include "shell/win32/SystemPassword.h"
#include "shell/win32/WindowOwner.h"

#include <imm.h>
#include <windowsx.h>

#include <stdexcept>

namespace {

constexpr UINT_PTR PreviewWatchTimer = 1;
// How often a preview checks that its host window still exists: the process
// must not outlive the display settings by more than a moment.
constexpr UINT PreviewWatchMs = 200;

}  // namespace

TViewForm::TViewForm(HINSTANCE instance, const StartupValues& startup, const ViewerProcess& process)
    : instance_(instance), startup_(startup), process_(process)
{
    // Black: a paint request before the first picture erases to it.
    const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterSaverWindowClass(instance, ViewerClassName, WindowProcedure, black);
    DWORD style;
    DWORD extendedStyle;
    HWND parent;
    if (startup_.PreviewMode) {
        style = WS_CHILD;
        extendedStyle = 0;
        parent = startup_.PreviewParent;
        width_ = startup_.PreviewRect.right - startup_.PreviewRect.left;
        height_ = startup_.PreviewRect.bottom - startup_.PreviewRect.top;
    } else {
        // No taskbar button: a saver is not a task to switch to. Topmost
        // from the start, so that it never shows below another window.
        style = WS_POPUP;
        extendedStyle = WS_EX_TOOLWINDOW | (startup_.NoTopmost ? 0 : WS_EX_TOPMOST);
        parent = nullptr;
        width_ = GetSystemMetrics(SM_CXSCREEN);
        height_ = GetSystemMetrics(SM_CYSCREEN);
    }
    window_ = CreateWindowExW(extendedStyle, ViewerClassName, L"ScreenSaver", style, 0, 0, width_, height_, parent,
                              nullptr, instance, this);
    if (window_ == nullptr) {
        if (startup_.PreviewMode)
            throw std::runtime_error("The preview window " +
                                     std::to_string(reinterpret_cast<intptr_t>(startup_.PreviewParent)) +
                                     " does not exist.");
        throw std::runtime_error("The screen saver's window could not be created.");
    }
    // The timer thread's steps reach this window's procedure from here on.
    process_.calls->SetWakeHook([window = window_] { PostMessageW(window, RunCallsMessage, 0, 0); });
    try {
        FormCreate();
    } catch (...) {
        process_.calls->SetWakeHook(nullptr);
        if (window_ != nullptr) DestroyWindow(window_);
        if (cursorHidden_) ShowCursor(TRUE);
        throw;
    }
    if (window_ == nullptr) return;  // FormCreate closed it
    ShowWindow(window_, startup_.PreviewMode ? SW_SHOWNA : SW_SHOW);
    FormShow();
}

TViewForm::~TViewForm()
{
    if (window_ != nullptr) DestroyWindow(window_);
    process_.calls->SetWakeHook(nullptr);
    // The timer was stopped when the window went; the slide show's objects
    // go now: scenario, archives, buffers, then the screen bitmap.
    session_.reset();
    canvas_.reset();
    if (cursorHidden_) ShowCursor(TRUE);
}

void TViewForm::FormCreate()
{
    if (!startup_.PreviewMode) {
        cursorHidden_ = true;
        ShowCursor(FALSE);
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        const BOOL known = GetVersionExA(&version);
#pragma GCC diagnostic pop
        if (!known) {
            DestroyWindow(window_);
            return;
        }
        platformId_ = version.dwPlatformId;
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    // Keys go to the window, not to an input method.
    ImmAssociateContext(window_, nullptr);

    LoadPreference(startup_.Preferences, startup_.SettingsFileName, settings_, nullptr);

    canvas_ = std::make_unique<GdiCanvas>(window_);
    ViewerServices services;
    services.calls = process_.calls;
    services.canvas = canvas_.get();
    services.sound = process_.sound;
    services.random = process_.random;
    services.text = process_.text;
    services.makeScreenBitmap = [](int32_t width, int32_t height) -> std::unique_ptr<TBitmap> {
        return DibSectionBitmap::Create(width, height);
    };
    services.stepFailed = [this](const std::exception& failure) { StepFailed(failure); };
    ViewerStart start;
    start.width = width_;
    start.height = height_;
    start.previewMode = startup_.PreviewMode;
    start.settings = settings_;
    session_ = std::make_unique<ViewerSession>(services, start);
    session_->SetPlatformId(platformId_);
    session_->SetStartCursor(TPoint{cursor.x, cursor.y});
    if (!session_->Start()) {
        const std::string size = std::to_string(width_) + " x " + std::to_string(height_);
        session_.reset();
        throw std::runtime_error("Not enough memory for the slide show at " + size + " pixels.");
    }
    if (startup_.PreviewMode) SetTimer(window_, PreviewWatchTimer, PreviewWatchMs, nullptr);
}

void TViewForm::FormShow()
{
    if (!startup_.PreviewMode) {
        if (!startup_.NoTopmost) SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        covers_.Create(instance_, *this, !startup_.NoTopmost);
        SetForegroundWindow(window_);
        SetFocus(window_);
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    if (session_) session_->SetStartCursor(TPoint{cursor.x, cursor.y});
}

void TViewForm::KeyPressed()
{
    if (session_ && session_->KeyPressed()) Close();
}

void TViewForm::ButtonPressed()
{
    if (session_ && session_->ButtonPressed()) Close();
}

void TViewForm::PointerMovedTo(TPoint screenPosition)
{
    if (session_ && session_->PointerMoved(screenPosition)) Close();
}

void TViewForm::Close()
{
    if (window_ == nullptr || closing_) return;
    if (session_) {
        // The password dialog runs its own message loop: input meanwhile
        // must not ask a second time.
        closing_ = true;
        SystemPassword password(window_, [this] {
            cursorHidden_ = false;
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        });
        const CloseAnswer answer = session_->CloseQuery(password);
        closing_ = false;
        if (answer == CloseAnswer::Refuse) {
            if (!startup_.PreviewMode) {
                cursorHidden_ = true;
                SetCursor(nullptr);
            }
            return;
        }
    }
    DestroyWindow(window_);
}

void TViewForm::StepFailed(const std::exception& failure)
{
    ShowErrorBox(window_, failure.what());
    if (window_ != nullptr) DestroyWindow(window_);
}

void TViewForm::Paint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    // Whatever uncovered the window, it shows the picture again at once
    // rather than black until the next transition.
    if (dc != nullptr && session_ && session_->ScenarioMode()) {
        ScenarioPlayer& player = session_->Player();
        if (auto* screen = dynamic_cast<DibSectionBitmap*>(player.ScreenBitmap.get())) {
            const TRect& target = player.DestRect;
            BitBlt(dc, target.left, target.top, static_cast<int>(target.Width()), static_cast<int>(target.Height()),
                   screen->DeviceContext(), player.ScreenRect.left, player.ScreenRect.top, SRCCOPY);
        }
    }
    EndPaint(window_, &paint);
}

LRESULT CALLBACK TViewForm::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* form = WindowOwner<TViewForm>(window, message, lParam);
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCCREATE) form->window_ = window;  // CreateWindowExW has not returned it yet
    try {
        return form->Dispatch(message, wParam, lParam);
    } catch (const std::exception& failure) {
        // Nothing may unwind through the system's code: say what happened
        // and end the saver.
        ShowErrorBox(window, failure.what());
        if (form->session_) form->session_->Stop();
        PostQuitMessage(0);
        return 0;
    }
}

LRESULT TViewForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        // Another saver must not start over this one.
        if ((wParam & 0xFFF0) == SC_SCREENSAVE) return 1;
        break;
    case SoundEndMessage:
        if (process_.sound != nullptr) process_.sound->OnEndNotice(static_cast<uint64_t>(wParam));
        return 0;
    case RunCallsMessage: process_.calls->RunPending(); return 0;
    case ShowErrorMessage: {
        const std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
        if (text) ShowErrorBox(window_, *text);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: KeyPressed(); return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN: ButtonPressed(); return 0;
    case WM_MOUSEMOVE:
        // Full screen the client area starts at the screen's origin.
        PointerMovedTo(TPoint{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_SETCURSOR:
        if (cursorHidden_ && LOWORD(lParam) == HTCLIENT) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_TIMER:
        if (wParam == PreviewWatchTimer && !IsWindow(startup_.PreviewParent)) DestroyWindow(window_);
        return 0;
    case WM_ERASEBKGND:
        // The picture is painted over the whole window: erasing first would
        // flash black.
        if (session_ && session_->ScenarioMode() && session_->Player().ScreenBitmap) return 1;
        break;
    case WM_PAINT: Paint(); return 0;
    case WM_CLOSE: Close(); return 0;
    case WM_DESTROY:
        // First of all: no timer step may reach the slide show any more.
        if (session_) session_->Stop();
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY: {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        HWND window = window_;
        window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}
