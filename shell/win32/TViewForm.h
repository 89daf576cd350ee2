// TViewForm: the saver's window in full-screen and preview mode.
//
// Full screen it is a borderless black popup over the primary monitor
// (topmost unless the "d" switch was given), without a cursor, and every
// other monitor gets a black cover window (CoverWindows.h). In preview mode
// it is a child of the display settings' preview window and fills it.
//
// It owns the slide show (ViewerSession) and runs the steps that the timer
// thread hands to the main thread: the MainThreadCalls' wake hook posts
// RunCallsMessage to this window, and its window procedure runs them. The
// sound player's end notice arrives as WM_USER + 1 with the opening's number
// in wParam. Input (here and on the covers) closes the window after the
// close query; destroying it stops the timer first, so no step reaches a
// window that is going. Closing the window ends the message loop.
//
// Exceptions never leave the window procedure: one that reaches it is shown
// in a message box and ends the saver.
#pragma once

#include "platform/MainThreadCalls.h"
#include "shell/common/ViewerSession.h"
#include "shell/win32/CoverWindows.h"
#include "platform/win32/GdiCanvas.h"
#include "shell/win32/StartupValues.h"
#include "sound/WaveDataControl.h"

#include <windows.h>

#include <memory>
#include <string>

// The window messages of the viewer.
constexpr UINT SoundEndMessage = WM_USER + 1;     // wParam: the opening that ended
constexpr UINT RunCallsMessage = WM_APP + 1;      // run the main thread's queued calls
constexpr UINT ShowErrorMessage = WM_APP + 2;     // lParam: a std::string* to show, then delete

constexpr wchar_t ViewerClassName[] = L"KamishibaiViewer";

// What the viewer uses that lives as long as the process.
struct ViewerProcess {
    MainThreadCalls* calls = nullptr;
    oWaveDataControl* sound = nullptr;
    SubtractiveRandom* random = nullptr;
    TextRenderer* text = nullptr;
};

class TViewForm {
public:
    // Makes and shows the window and starts the slide show; throws
    // std::runtime_error when the window cannot be made.
    TViewForm(HINSTANCE instance, const StartupValues& startup, const ViewerProcess& process);
    ~TViewForm();
    TViewForm(const TViewForm&) = delete;
    TViewForm& operator=(const TViewForm&) = delete;

    HWND Handle() const { return window_; }
    // False once the window has been destroyed.
    bool Open() const { return window_ != nullptr; }

    // Input from the viewer or a cover window.
    void KeyPressed();
    void ButtonPressed();
    void PointerMovedTo(TPoint screenPosition);
    bool CursorHidden() const { return cursorHidden_; }

    // Closes the window if the close query allows it.
    void Close();

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    void FormCreate();
    void FormShow();
    void Paint();
    void StepFailed(const std::exception& failure);

    HINSTANCE instance_;
    StartupValues startup_;
    ViewerProcess process_;
    HWND window_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool cursorHidden_ = false;
    bool closing_ = false;
    uint32_t platformId_ = 0;
    SlideshowPreference settings_;
    std::unique_ptr<GdiCanvas> canvas_;
    std::unique_ptr<ViewerSession> session_;
    CoverWindows covers_;
};
